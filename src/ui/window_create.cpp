#include "ui/window_create.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "commands/transfer_outcome.h"
#include "dialogs/receive_image_dlg.h"
#include "dialogs/receiving_dlg.h"
#include "ui/strings.h"

namespace {

wxWindow* DialogParent() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }

}  // namespace

std::optional<std::string> WindowCreate::Run(bool sector_by_sector) {
  chosen_folder_.reset();
  flow_.run(kestrelon::CreateFlow::checked_addresses(core_.main_client_list().rows()), sector_by_sector, *this);
  return chosen_folder_;
}

void WindowCreate::transfer_ended(const kestrelon::JournalFacts& facts) {
  if (outcome_sink_) outcome_sink_(kestrelon::transfer_outcome_line(facts));
}

void WindowCreate::show_message(const std::string& text) { core_.ui().show_message(text); }

std::optional<std::string> WindowCreate::choose_image_path(const std::string& proposed_name) {
  wxFileDialog dialog(DialogParent(), "Save As", wxEmptyString, wxString::FromUTF8(proposed_name),
                      kFilter, wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  wxFileName path(dialog.GetPath());
  if (path.GetFullName().empty()) return std::nullopt;
  // A name typed without an extension gets the default one; the dialog asked about
  // replacing the name as typed, so the name with the extension is asked about here.
  if (!path.HasExt()) {
    path.SetExt(kExtension);
    if (path.FileExists() &&
        wxMessageBox(path.GetFullName() + " already exists.\nDo you want to replace it?", kestrelon::text::kAppTitle,
                     wxYES_NO | wxICON_WARNING, DialogParent()) != wxYES)
      return std::nullopt;
  }
  return path.GetFullPath().utf8_string();
}

std::optional<kestrelon::ReceiveImageChoice> WindowCreate::ask_receive_image(
    const kestrelon::ReceiveImageInfo& info) {
  CReceiveImageDlg dialog(DialogParent(), info);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return dialog.Choice();
}

std::unique_ptr<kestrelon::ReceivingDialog> WindowCreate::make_receiving_dialog(
    const kestrelon::ReceivingDialogInfo& info) {
  return std::make_unique<CReceivingDlg>(DialogParent(), info, core_.transfer_stats());
}
