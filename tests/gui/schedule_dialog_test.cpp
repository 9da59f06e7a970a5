// The "Set Schedule Time" dialog on a real display, driven with the mouse: a delay
// set with the spin arrow, Start, the countdown in seconds in its last minute, and
// the dialog ending itself. Its wall clock runs ten times faster than real time so
// a one-minute countdown passes in six seconds.
#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/radiobut.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>

#include "controls/bitmap_button_256colors.h"
#include "dialogs/schedule_dlg.h"
#include "fast_wall_clock.h"
#include "gui_steps.h"

namespace kestrelon::test {
namespace {

class ScheduleDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = new wxFrame(nullptr, wxID_ANY, "schedule", wxPoint(40, 40), wxSize(700, 500));
    frame_->Show();
  }
  void TearDown() override {
    frame_->Destroy();
    RunSteps({Settle()});
  }

  template <class T>
  static T* Control(wxWindow* dialog, int id) {
    return dynamic_cast<T*>(dialog->FindWindow(id));
  }
  static wxString Text(wxWindow* dialog, int id) { return Control<wxTextCtrl>(dialog, id)->GetValue(); }
  static void Click(wxWindow* window) {
    const wxSize size = window->GetClientSize();
    ClickAt(window, wxPoint(size.x / 2, size.y / 2));
  }

  wxFrame* frame_ = nullptr;
};

TEST_F(ScheduleDialog, OneMinuteDelayCountsDownInSecondsAndEndsItselfWithOk) {
  CScheduleDlg dialog(frame_, FastWallClock(10));
  int result = 0;
  bool saw_seconds = false;
  auto* delay_radio = Control<wxRadioButton>(&dialog, CScheduleDlg::kDelayRadio);
  auto* start = Control<wxButton>(&dialog, CScheduleDlg::kStart);
  const bool completed = RunSteps({
      {"open",
       [&] {
         wxTheApp->CallAfter([&] { result = dialog.ShowModal(); });
         return true;
       }},
      {"modal", [&] { return dialog.IsModal(); }},
      {"stopped state",
       [&] {
         EXPECT_EQ(dialog.GetTitle(), "Set Schedule Time");
         EXPECT_TRUE(Control<wxRadioButton>(&dialog, CScheduleDlg::kStartTimeRadio)->GetValue());
         EXPECT_TRUE(Control<wxTextCtrl>(&dialog, CScheduleDlg::kStartTimeEdit)->IsEnabled());
         EXPECT_FALSE(Control<wxTextCtrl>(&dialog, CScheduleDlg::kDelayEdit)->IsEnabled());
         EXPECT_FALSE(Control<wxButton>(&dialog, CScheduleDlg::kStop)->IsEnabled());
         EXPECT_EQ(Text(&dialog, CScheduleDlg::kDelayEdit), "00:00:00");
         return true;
       }},
      {"no delay, no Start", [&] { return !start->IsEnabled(); }},
      {"choose the delay",
       [&] {
         Click(delay_radio);
         return true;
       }},
      {"delay mode", [&] { return Control<wxSpinButton>(&dialog, CScheduleDlg::kDelaySpin)->IsEnabled(); }},
      {"one minute up",
       [&] {
         ClickSpinUp(Control<wxSpinButton>(&dialog, CScheduleDlg::kDelaySpin));
         return true;
       }},
      {"00:01", [&] { return Text(&dialog, CScheduleDlg::kDelayEdit) == "00:01"; }},
      {"Start enabled at the next tick", [&] { return start->IsEnabled(); }},
      {"start",
       [&] {
         Click(start);
         return true;
       }},
      {"running",
       [&] {
         if (!Control<wxButton>(&dialog, CScheduleDlg::kStop)->IsEnabled()) return false;
         EXPECT_FALSE(delay_radio->IsEnabled());
         EXPECT_FALSE(Control<wxSpinButton>(&dialog, CScheduleDlg::kDelaySpin)->IsEnabled());
         return true;
       }},
      {"counts down, ends itself",
       [&] {
         if (dialog.IsModal()) {
           saw_seconds |= Text(&dialog, CScheduleDlg::kDelayEdit).StartsWith("00:00:");
           return false;
         }
         return true;
       },
       20000},
  });
  ASSERT_TRUE(completed);
  EXPECT_EQ(result, wxID_OK);
  EXPECT_TRUE(saw_seconds) << "the last minute shows hours, minutes and seconds";
  EXPECT_EQ(dialog.Countdown().delay(), 0);
}

}  // namespace
}  // namespace kestrelon::test
