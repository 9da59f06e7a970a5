// The Copy command of the main form, its Copy supervision, and whether a transfer
// dialog is open (the discovery timer pauses meanwhile). Protected Clients among
// the checked ones are named in a question first.
#include <wx/app.h>
#include <wx/msgdlg.h>

#include "app/controller_core.h"
#include "commands/protected_targets.h"
#include "ui/desktop_services.h"
#include "ui/strings.h"
#include "ui/window_copy.h"
#include "ui/window_create.h"

bool DesktopServices::TransferDialogOpen() {
  return copy_->Flow().transfer_dialog_open() || create_->Flow().receiving_dialog_open();
}

void DesktopServices::SuperviseCopy() { copy_->Flow().supervise(); }

DesktopServices::ProtectedChoice DesktopServices::AskAboutProtected() {
  const std::vector<kestrelon::ListedClient> found = kestrelon::protected_checked(core_);
  if (found.empty()) return ProtectedChoice::none_checked;
  wxMessageDialog question(wxTheApp ? wxTheApp->GetTopWindow() : nullptr,
                           wxString::FromUTF8(kestrelon::protected_question(found)), kestrelon::text::kAppTitle,
                           wxYES_NO | wxCANCEL | wxNO_DEFAULT | wxICON_WARNING);
  switch (question.ShowModal()) {
    case wxID_YES: return ProtectedChoice::include;
    case wxID_NO: return ProtectedChoice::leave_out;
    default: return ProtectedChoice::cancel;
  }
}

void DesktopServices::RunCopy(kestrelon::CopyRequest request, ProtectedChoice choice) {
  if (choice == ProtectedChoice::cancel) return;
  if (choice == ProtectedChoice::leave_out) {
    // Found again: a scheduled Copy's rows may have changed since the question.
    const auto left_out = kestrelon::leave_out_protected(core_, kestrelon::protected_checked(core_));
    request.left_out.insert(request.left_out.end(), left_out.begin(), left_out.end());
  }
  copy_->Flow().run(request);
}

// The program's options as they are now: a Preferences change counts from the
// next Copy.
void DesktopServices::Copy(const std::string& image_path) {
  RunCopy({.image_path = image_path, .options = core_.program_options().copy_options()}, AskAboutProtected());
}
