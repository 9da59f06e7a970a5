#include "gui_steps.h"

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/uiaction.h>

#include "support/busy_machine.h"

namespace kestrelon::test {
namespace {

class StepWalker : public wxTimer {
 public:
  StepWalker(std::vector<Step> steps, wxEventLoopBase& loop) : steps_(std::move(steps)), loop_(loop) {}

  void Notify() override {
    if (busy_) return;  // a step that opened a modal dialog is still running
    // A closing list's wait lets only the screen and input through, as a sleep
    // would let nothing: the steps wait too.
    if (const wxEventLoopBase* active = wxEventLoopBase::GetActive(); active && active->IsYielding()) return;
    busy_ = true;
    while (index_ < steps_.size()) {
      Step& step = steps_[index_];
      if (!started_) {
        started_ = true;
        start_ = std::chrono::steady_clock::now();
      }
      if (!step.done()) {
        const auto waited = std::chrono::steady_clock::now() - start_;
        if (waited > patient(std::chrono::milliseconds(step.timeout_ms))) {
          ADD_FAILURE() << "step \"" << step.name << "\" did not complete within " << kBusyMachineAllowance
                        << " x " << step.timeout_ms << " ms";
          failed_ = true;
          Finish();
        }
        busy_ = false;
        return;
      }
      ++index_;
      started_ = false;
    }
    Finish();
    busy_ = false;
  }

  bool failed() const { return failed_; }

 private:
  void Finish() {
    Stop();
    // A failed step may leave a modal dialog open; close it so the loops unwind.
    for (wxWindow* top : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(top);
      if (failed_ && dialog != nullptr && dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
    }
    // Leave nested modal loops first: the outer loop ends once they unwind.
    loop_.ScheduleExit(0);
    index_ = steps_.size();
  }

  std::vector<Step> steps_;
  wxEventLoopBase& loop_;
  std::size_t index_ = 0;
  bool started_ = false;
  bool busy_ = false;
  bool failed_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

bool RunSteps(std::vector<Step> steps) {
  wxGUIEventLoop loop;
  StepWalker walker(std::move(steps), loop);
  walker.Start(25);
  loop.Run();
  walker.Stop();
  return !walker.failed();
}

Step Do(std::string name, std::function<void()> action) {
  return {std::move(name), [action = std::move(action)] {
            action();
            return true;
          }};
}

Step Pause(int ms) {
  auto until = std::make_shared<std::chrono::steady_clock::time_point>();
  auto armed = std::make_shared<bool>(false);
  return {"pause " + std::to_string(ms) + " ms",
          [=] {
            if (!*armed) {
              *armed = true;
              *until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            }
            if (std::chrono::steady_clock::now() < *until) return false;
            *armed = false;
            return true;
          },
          ms + 5000};
}

Step Settle() { return Pause(150); }

wxRect ScreenRect(wxWindow* window) {
  return {window->ClientToScreen(wxPoint(0, 0)), window->GetClientSize()};
}

void ClickAt(wxWindow* window, wxPoint client_point, bool double_click) {
  wxUIActionSimulator sim;
  sim.MouseMove(window->ClientToScreen(client_point));
  if (double_click)
    sim.MouseDblClick();
  else
    sim.MouseClick();
}

void ClickSpinUp(wxWindow* spin) {
  const wxSize size = spin->GetClientSize();
  ClickAt(spin, size.x > size.y ? wxPoint(size.x * 3 / 4, size.y / 2) : wxPoint(size.x / 2, size.y / 4));
}

}  // namespace kestrelon::test
