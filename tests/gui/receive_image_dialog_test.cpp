// The Receiving Disk Image dialog takes at most 400 characters, and refuses a
// description that does not fit the image's 511 bytes when Receive Image is
// pressed, with the text kept for the user to shorten; nothing is cut unseen.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include "commands/image_description.h"
#include "dialogs/receive_image_dlg.h"

namespace kestrelon::test {
namespace {

class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
 public:
  explicit ExpectMessage(std::string text) : text_(std::move(text)) {}

 protected:
  int OnInvoked(wxMessageDialog* dialog) const override {
    EXPECT_EQ(dialog->GetMessage().utf8_string(), text_);
    return wxID_OK;
  }

 private:
  std::string text_;
};

void Press(wxWindow* button) {
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

TEST(ReceiveImageDialog, ADescriptionTooLongForTheImageIsRefusedAndKept) {
  CReceiveImageDlg dialog(nullptr, {"lab-pc-1", "010.000.000.001", "47Mb"});
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xC3\xBC";  // 300 characters, 600 bytes
  const std::string fits = umlauts.substr(0, 2 * 255);   // 255 characters, 510 bytes
  std::string kept, cut;
  wxTheApp->CallAfter([&] {
    wxTextCtrl* text = dialog.Description();
    text->SetValue(wxString(450, 'x'));  // as typed or pasted
    cut = text->GetValue().utf8_string();
    text->SetValue(wxString::FromUTF8(umlauts));
    wxTEST_DIALOG(Press(dialog.FindWindow(wxID_OK)), ExpectMessage(description_problem(umlauts)));
    kept = text->GetValue().utf8_string();
    EXPECT_TRUE(dialog.IsShown()) << "the dialog stays open";
    text->SetValue(wxString::FromUTF8(fits));
    Press(dialog.FindWindow(wxID_OK));
  });
  ASSERT_EQ(dialog.ShowModal(), wxID_OK);
  EXPECT_EQ(cut, std::string(400, 'x')) << "at most 400 characters are taken";
  EXPECT_EQ(kept, umlauts) << "the refused text is still there to be shortened";
  EXPECT_EQ(dialog.Choice().description, fits);
}

}  // namespace
}  // namespace kestrelon::test
