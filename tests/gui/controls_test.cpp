// The picture buttons, the hyperlink, the About box and the splash picture.
#include <gtest/gtest.h>

#include <chrono>

#include <wx/frame.h>
#include <wx/uiaction.h>

#include "controls/bitmap_button_256colors.h"
#include "controls/dib.h"
#include "controls/label_button.h"
#include "controls/static_link.h"
#include "dialogs/about_dlg.h"
#include "dialogs/splash_dlg.h"
#include "gui_steps.h"
#include "support/busy_machine.h"
#include "ui/command_ids.h"

namespace kestrelon::test {
namespace {

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = new wxFrame(nullptr, wxID_ANY, "controls", wxPoint(40, 40), wxSize(400, 300));
    frame_->Show();
  }
  void TearDown() override {
    frame_->Destroy();
    RunSteps({Settle()});
  }
  wxFrame* frame_ = nullptr;
};

TEST(Artwork, EveryButtonFaceIsEightyByThirtyTwoAndFoundWithoutRegardToCase) {
  for (const char* caption : {"Copy", "Schedule", "Create", "SelectAll", "DeselectAll", "LoadGroup", "SaveGroup",
                              "Rediscover"}) {
    for (const char* state : {"U", "D", "X"}) {
      const wxBitmap face = LoadResourceBitmap(wxString(caption) + state);
      ASSERT_TRUE(face.IsOk()) << caption << state;
      EXPECT_EQ(face.GetSize(), wxSize(80, 32)) << caption << state;
    }
    EXPECT_FALSE(LoadResourceBitmap(wxString(caption) + "F").IsOk()) << "no focused faces are drawn";
  }
  EXPECT_TRUE(LoadResourceBitmap("copyu").IsOk());
  EXPECT_EQ(LoadResourceBitmap("LOGO").GetSize(), wxSize(251, 75));
  EXPECT_EQ(LoadResourceBitmap("CHECKMARKS").GetSize(), wxSize(48, 16));
  EXPECT_TRUE(LoadResourceBitmap("KESTRELON").IsOk());
}

TEST(Artwork, CheckMarkStripHasRedBackgroundAndThreeDifferentPictures) {
  const wxImage strip = LoadResourceBitmap("CHECKMARKS").ConvertToImage();
  for (int x : {0, 16, 32}) {
    EXPECT_EQ(strip.GetRed(x, 0), 255);
    EXPECT_EQ(strip.GetGreen(x, 0), 0);
    EXPECT_EQ(strip.GetBlue(x, 0), 0);
  }
  auto picture = [&](int i) { return strip.GetSubImage(wxRect(16 * i, 0, 16, 16)); };
  auto same = [](const wxImage& a, const wxImage& b) {
    return std::equal(a.GetData(), a.GetData() + 16 * 16 * 3, b.GetData());
  };
  EXPECT_FALSE(same(picture(0), picture(1)));
  EXPECT_FALSE(same(picture(1), picture(2)));
  EXPECT_FALSE(same(picture(0), picture(2)));
}

TEST_F(Controls, BitmapButtonTakesItsPictureSizeAndShowsTheFaceOfItsState) {
  auto* button = new CBitmapButton256colors(frame_, 1016, "Copy", wxPoint(30, 30), wxSize(120, 50));
  ASSERT_TRUE(button->AttachCaption());
  EXPECT_EQ(button->GetSize(), wxSize(80, 32));
  EXPECT_EQ(button->GetPosition(), wxPoint(30, 30));
  EXPECT_EQ(button->CurrentFace(), ButtonFace::up);
  button->Disable();
  EXPECT_EQ(button->CurrentFace(), ButtonFace::disabled);
  button->Enable();

  int clicks = 0;
  button->Bind(wxEVT_BUTTON, [&](wxCommandEvent& e) {
    EXPECT_EQ(e.GetId(), 1016);
    ++clicks;
  });
  wxUIActionSimulator sim;
  bool pressed_seen = false;
  ASSERT_TRUE(RunSteps({Settle(),
                        {"press", [&] {
                           sim.MouseMove(button->ClientToScreen(wxPoint(40, 16)));
                           sim.MouseDown();
                           return true;
                         }},
                        {"shows the pressed face", [&] {
                           pressed_seen = button->CurrentFace() == ButtonFace::down;
                           return pressed_seen;
                         }},
                        {"release", [&] {
                           sim.MouseUp();
                           return true;
                         }},
                        {"one click", [&] { return clicks == 1 && !button->IsPressed(); }}}));
  EXPECT_TRUE(pressed_seen);

  // A disabled button ignores the mouse.
  button->Disable();
  ASSERT_TRUE(RunSteps({{"click disabled", [&] {
                           ClickAt(button, wxPoint(40, 16));
                           return true;
                         }},
                        Pause(300)}));
  EXPECT_EQ(clicks, 1);
}

TEST_F(Controls, BitmapButtonWithoutPicturesKeepsItsOwnSize) {
  auto* button = new CBitmapButton256colors(frame_, wxID_ANY, "Nothing", wxPoint(10, 10), wxSize(90, 40));
  EXPECT_FALSE(button->AttachCaption());
  EXPECT_EQ(button->GetSize(), wxSize(90, 40));
  // Missing down picture: pressed shows the up picture.
  EXPECT_FALSE(button->LoadBitmaps("COPYU", "NODOWN"));
  EXPECT_EQ(button->CurrentFace(), ButtonFace::up);
}

TEST_F(Controls, LabelButtonIgnoresTheMouseAndWrapsOrShortens) {
  auto* label = new CLabelButton(frame_, wxID_ANY, "a label that is rather long for its width", wxPoint(10, 10),
                                 wxSize(80, 16));
  EXPECT_TRUE(label->DisplayedText().EndsWith("..."));
  label->SetMode(CLabelButton::kWrapped);
  EXPECT_EQ(label->DisplayedText(), label->GetLabel());
  int events = 0;
  frame_->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++events; });
  wxWindow* focus_before = nullptr;
  ASSERT_TRUE(RunSteps({Settle(),
                        {"click", [&] {
                           focus_before = wxWindow::FindFocus();
                           ClickAt(label, wxPoint(5, 5));
                           return true;
                         }},
                        Pause(300)}));
  EXPECT_EQ(events, 0);
  EXPECT_EQ(wxWindow::FindFocus(), focus_before);
}

TEST_F(Controls, LinkThatCannotOpenBeepsAndStaysUnvisited) {
  auto* link = new CStaticLink(frame_, wxID_ANY, "https://kestrelon.example.org/", wxPoint(10, 10));
  int beeps = 0;
  wxString opened;
  bool succeed = false;
  link->SetOpener([&](const wxString& target) {
    opened = target;
    return succeed;
  });
  link->SetBeeper([&] { ++beeps; });
  EXPECT_EQ(link->GetCursor().IsOk(), true);
  ASSERT_TRUE(RunSteps({Settle(), {"click", [&] {
                                     ClickAt(link, wxPoint(5, 5));
                                     return true;
                                   }},
                        {"opened", [&] { return !opened.empty(); }}}));
  EXPECT_EQ(opened, "https://kestrelon.example.org/");
  EXPECT_EQ(beeps, 1);
  EXPECT_FALSE(link->Visited());
  EXPECT_EQ(link->TextColour(), wxColour(0, 0, 255));

  succeed = true;
  link->Follow();
  EXPECT_TRUE(link->Visited());
  EXPECT_EQ(link->TextColour(), wxColour(128, 0, 128));
  EXPECT_EQ(beeps, 1);
}

TEST_F(Controls, AboutBoxShowsNameVersionAndLink) {
  CAboutDlg about(frame_);
  EXPECT_EQ(about.GetId(), 100);
  EXPECT_EQ(about.Version()->GetLabel(), "Version 2.11");
  EXPECT_EQ(about.Link()->GetLabel(), "https://kestrelon.example.org/");
  bool shown = false;
  ASSERT_TRUE(RunSteps({{"open", [&] {
                           wxTheApp->CallAfter([&] { about.ShowModal(); });
                           return true;
                         }},
                        {"modal", [&] { return shown = about.IsModal(); }},
                        {"close", [&] {
                           about.EndModal(wxID_OK);
                           return true;
                         }},
                        Settle()}));
  EXPECT_TRUE(shown);
}

TEST_F(Controls, SplashClosesItselfAfterFourSeconds) {
  CSplashDlg splash(frame_);
  const auto start = std::chrono::steady_clock::now();
  const int result = splash.ShowModal();
  const auto shown_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(result, wxID_OK);
  EXPECT_GE(shown_ms, 3950);
  EXPECT_LT(shown_ms, patient(std::chrono::milliseconds(4000)).count()) << "it closed by itself";
}

}  // namespace
}  // namespace kestrelon::test
