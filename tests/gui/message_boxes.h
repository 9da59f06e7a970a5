#pragma once
// Answers every message box with OK without showing it, and keeps its text, so a
// test can check what a dialog said and carry on inside that dialog.
#include <string>
#include <vector>

#include <wx/modalhook.h>
#include <wx/msgdlg.h>

namespace kestrelon::test {

class MessageBoxes : public wxModalDialogHook {
 public:
  MessageBoxes() { Register(); }
  ~MessageBoxes() override { Unregister(); }

  std::vector<std::string> texts;

 protected:
  int Enter(wxDialog* dialog) override {
    auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
    if (!box) return wxID_NONE;
    texts.push_back(box->GetMessage().utf8_string());
    return wxID_OK;
  }
  void Exit(wxDialog*) override {}
};

}  // namespace kestrelon::test
