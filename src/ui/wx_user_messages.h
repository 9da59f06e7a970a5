#pragma once
// The core's way to reach the user, in windows: message boxes on the
// user-interface thread, and work handed to it from any thread.
#include <functional>
#include <string>

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "net/user_messages.h"
#include "ui/strings.h"

class WxUserMessages : public kestrelon::UserMessages {
 public:
  // Gives each message a paragraph below it (empty: none), while it is set.
  using Advice = std::function<std::string(const std::string& message)>;
  void SetAdvice(Advice advice) { advice_ = std::move(advice); }

  void show_message(const std::string& text) override {
    std::string shown = text;
    if (advice_)
      if (const std::string advice = advice_(text); !advice.empty()) shown += "\n\n" + advice;
    wxMessageBox(wxString::FromUTF8(shown), kestrelon::text::kAppTitle, wxOK | wxCENTRE, wxTheApp->GetTopWindow());
  }
  void post_to_ui(std::function<void()> work) override {
    if (wxTheApp != nullptr) wxTheApp->CallAfter(std::move(work));
  }

 private:
  Advice advice_;
};
