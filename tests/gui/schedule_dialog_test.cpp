// The "Set Schedule Time" dialog on a real display, driven with the mouse: a delay
// set with the spin arrow, Start, the countdown in seconds in its last minute, and
// the dialog ending itself; Cancel abandons. Its wall clock runs ten times faster
// than real time so a one-minute countdown passes in six seconds.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/radiobut.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>

#include "controls/bitmap_button_256colors.h"
#include "dialogs/schedule_dlg.h"
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

  // Ten seconds of wall clock for every real second, from now on.
  static CScheduleDlg::WallClock FastClock() {
    const auto real0 = std::chrono::steady_clock::now();
    const std::int64_t wall0 = std::time(nullptr);
    return [=] {
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - real0);
      return wall0 + ms.count() * 10 / 1000;
    };
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
  // The "up" arrow of a spin button: the toolkit draws it as the upper half of a
  // vertical button or the right half of a horizontal one.
  static void ClickUp(wxSpinButton* spin) {
    const wxSize size = spin->GetClientSize();
    const wxPoint up = size.x > size.y ? wxPoint(size.x * 3 / 4, size.y / 2) : wxPoint(size.x / 2, size.y / 4);
    ClickAt(spin, up);
  }

  wxFrame* frame_ = nullptr;
};

TEST_F(ScheduleDialog, OneMinuteDelayCountsDownInSecondsAndEndsItselfWithOk) {
  CScheduleDlg dialog(frame_, FastClock());
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
         ClickUp(Control<wxSpinButton>(&dialog, CScheduleDlg::kDelaySpin));
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

TEST_F(ScheduleDialog, CancelAbandonsTheCountdown) {
  CScheduleDlg dialog(frame_, FastClock());
  int result = 0;
  ASSERT_TRUE(RunSteps({
      {"open",
       [&] {
         wxTheApp->CallAfter([&] { result = dialog.ShowModal(); });
         return true;
       }},
      {"modal", [&] { return dialog.IsModal(); }},
      {"cancel",
       [&] {
         Click(Control<wxButton>(&dialog, wxID_CANCEL));
         return true;
       }},
      {"closed", [&] { return !dialog.IsModal(); }},
  }));
  EXPECT_EQ(result, wxID_CANCEL);
}

}  // namespace
}  // namespace kestrelon::test
