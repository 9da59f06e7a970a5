#include "ui/window_copy.h"

#include <wx/app.h>

#include "commands/transfer_outcome.h"
#include "dialogs/failed_clients_dlg.h"
#include "dialogs/live_targets_dlg.h"
#include "dialogs/low_disk_space_dlg.h"
#include "dialogs/timed_message_dlg.h"
#include "dialogs/transfer_dlg.h"

namespace {

wxWindow* DialogParent() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }

}  // namespace

void WindowCopy::show_message(const std::string& text) { core_.ui().show_message(text); }

void WindowCopy::show_low_disk_space(const std::vector<kestrelon::ClientRowFields>& clients) {
  CLowDiskSpaceDlg dialog(DialogParent(), clients);
  dialog.ShowModal();
}

void WindowCopy::show_failed_clients(const std::vector<kestrelon::ClientRowFields>& clients) {
  // The copy has been concluded by now: the report holds why each one failed.
  CFailedClientsDlg dialog(DialogParent(), clients,
                           kestrelon::failure_reasons(clients, core_.copy_report().states()));
  dialog.ShowModal();
}

void WindowCopy::show_timed_message(const std::string& text) {
  CTimedMessageDlg dialog(DialogParent(), wxString::FromUTF8(text), kRestoringConnectionsId);
  dialog.ShowModal();
}

void WindowCopy::transfer_ended(const kestrelon::JournalFacts& facts) {
  if (outcome_sink_) outcome_sink_(kestrelon::transfer_outcome_line(facts));
}

void WindowCopy::after_copy_reported(const kestrelon::JournalRecord& record) {
  if (outcome_sink_) outcome_sink_(kestrelon::after_copy_outcome_line(record));
}

void WindowCopy::run_transfer_dialog(kestrelon::CopyTransfer& transfer) {
  CTransferDlg dialog(DialogParent(), transfer);
  // The per-PC table opens beside it once its modal loop runs (a window opened
  // before would be disabled by that loop), without taking the keyboard from it;
  // as the dialog's child it goes with it.
  dialog.CallAfter([&dialog, this] {
    if (!dialog.IsModal()) return;
    auto* live = new CLiveTargetsDlg(&dialog, core_.copy_report());
    live->ShowWithoutActivating();
  });
  dialog.ShowModal();
}
