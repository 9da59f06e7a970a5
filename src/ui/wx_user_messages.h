#pragma once
// The core's way to reach the user, in windows: message boxes on the
// user-interface thread, and work handed to it from any thread.
#include <wx/app.h>
#include <wx/msgdlg.h>

#include "net/user_messages.h"
#include "ui/strings.h"

class WxUserMessages : public kestrelon::UserMessages {
 public:
  void show_message(const std::string& text) override {
    wxMessageBox(wxString::FromUTF8(text), kestrelon::text::kAppTitle, wxOK | wxCENTRE, wxTheApp->GetTopWindow());
  }
  void post_to_ui(std::function<void()> work) override {
    if (wxTheApp != nullptr) wxTheApp->CallAfter(std::move(work));
  }
};
