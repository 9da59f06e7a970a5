// The Schedule command of the main form: the Copy command's checks, the "Set
// Schedule Time" countdown, then the Copy command itself, from its first step.
#include <wx/app.h>

#include "app/controller_core.h"
#include "commands/schedule_flow.h"
#include "dialogs/schedule_dlg.h"
#include "ui/desktop_services.h"
#include "ui/window_copy.h"

namespace {

class WindowSchedule final : public kestrelon::SchedulePort {
 public:
  explicit WindowSchedule(DesktopServices::WallClock clock) : clock_(std::move(clock)) {}

  bool run_schedule_dialog() override {
    CScheduleDlg dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, clock_);
    return dialog.ShowModal() == wxID_OK;
  }

 private:
  DesktopServices::WallClock clock_;
};

}  // namespace

void DesktopServices::Schedule(const std::string& image_path) {
  WindowSchedule schedule(schedule_clock_);
  if (kestrelon::schedule_copy(copy_->Flow(), {.image_path = image_path, .options = core_.program_options().copy_options()},
                              schedule))
    Copy(image_path);
}
