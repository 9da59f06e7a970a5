#include "controls/close_wait.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <wx/dialog.h>
#include <wx/eventfilter.h>
#include <wx/evtloop.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kYieldPeriod = std::chrono::milliseconds(10);

// Answers mouse and keyboard events as handled, so neither the program nor the
// toolkit's own controls act on them. A dialog that a timer opens meanwhile runs
// a loop of its own, and takes its input as usual.
class DropInput : public wxEventFilter {
 public:
  explicit DropInput(const wxEventLoopBase* waiting) : waiting_(waiting) { wxEvtHandler::AddFilter(this); }
  ~DropInput() override { wxEvtHandler::RemoveFilter(this); }
  DropInput(const DropInput&) = delete;
  DropInput& operator=(const DropInput&) = delete;

  int FilterEvent(wxEvent& event) override {
    const bool input = dynamic_cast<wxMouseEvent*>(&event) != nullptr ||
                       dynamic_cast<wxKeyEvent*>(&event) != nullptr || event.GetEventType() == wxEVT_CONTEXT_MENU;
    return input && wxEventLoopBase::GetActive() == waiting_ ? Event_Processed : Event_Skip;
  }

 private:
  const wxEventLoopBase* waiting_;
};

}  // namespace

void WaitWithoutInput(wxWindow* closing, int milliseconds) {
  const auto wait = std::chrono::milliseconds(milliseconds);
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  auto* dialog = dynamic_cast<wxDialog*>(closing);
  if (dialog == nullptr || loop == nullptr || loop->IsYielding()) {
    std::this_thread::sleep_for(wait);
    return;
  }
  if (dialog->IsShown()) dialog->Hide();
  DropInput drop(loop);
  // What the display and the input devices send is handled meanwhile (the screen
  // repaints where the dialog was; input meets the filter above), and timers
  // tick. Posted work, idle passes and the network's notices wait for the end.
  constexpr long kShownHeardTimed = wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT | wxEVT_CATEGORY_TIMER;
  const auto end = Clock::now() + wait;
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    loop->YieldFor(kShownHeardTimed);
    std::this_thread::sleep_for(std::min<Clock::duration>(kYieldPeriod, end - now));
  }
  // What arrived during the last pause goes the same way.
  loop->YieldFor(kShownHeardTimed);
}
