// The Schedule command of the main form: the Copy command's checks, the question
// about protected Clients, the "Set Schedule Time" countdown with the room's
// options (wake the PCs ahead, wait for enough of them), then the Copy command
// itself, from its first step, to the PCs that came.
#include <wx/app.h>
#include <wx/msgdlg.h>

#include "app/controller_core.h"
#include "commands/schedule_flow.h"
#include "commands/schedule_room.h"
#include "dialogs/schedule_dlg.h"
#include "ui/desktop_services.h"
#include "ui/strings.h"
#include "ui/window_copy.h"

namespace {

class WindowSchedule final : public kestrelon::SchedulePort {
 public:
  WindowSchedule(DesktopServices::WallClock clock, kestrelon::ScheduleRoom& room, std::function<bool()> ask)
      : clock_(std::move(clock)), room_(room), ask_(std::move(ask)) {}

  bool run_schedule_dialog() override {
    if (!ask_()) return false;
    CScheduleDlg dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, clock_, &room_);
    const int end = dialog.ShowModal();
    gave_up_ = end == wxID_ABORT;
    return end == wxID_OK;
  }
  bool GaveUp() const { return gave_up_; }

 private:
  DesktopServices::WallClock clock_;
  kestrelon::ScheduleRoom& room_;
  std::function<bool()> ask_;
  bool gave_up_ = false;
};

}  // namespace

void DesktopServices::Schedule(const std::string& image_path) {
  kestrelon::ScheduleRoom room(core_, {}, kestrelon::schedule_room_pcs(ClientRows(), loaded_group_.get()));
  ProtectedChoice choice = ProtectedChoice::none_checked;
  WindowSchedule schedule(schedule_clock_, room, [&] {
    choice = AskAboutProtected();
    return choice != ProtectedChoice::cancel;
  });
  const kestrelon::CopyRequest base{.image_path = image_path, .options = core_.program_options().copy_options()};
  // Members of the loaded group that are not on the network now may be woken
  // later: then nobody need be checked yet.
  int checked = 0;
  ClientRows().last_checked(&checked);
  if (!kestrelon::schedule_copy(copy_->Flow(), base, schedule, /*require_targets=*/room.pc_count() == checked)) {
    if (schedule.GaveUp())
      wxMessageBox(wxString::FromUTF8(room.give_up_text()), kestrelon::text::kAppTitle, wxOK | wxICON_WARNING,
                   wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    return;
  }
  kestrelon::CopyRequest request = base;
  room.fill(request);
  RunCopy(std::move(request), choice);
}
