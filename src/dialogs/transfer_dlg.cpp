#include "dialogs/transfer_dlg.h"

#include <ctime>

#include "commands/copy_transfer.h"

namespace ids = kestrelon::progress_ids;

CTransferDlg::CTransferDlg(wxWindow* parent, kestrelon::CopyTransfer& transfer)
    : wxDialog(parent, kTemplateId, "Transfer", wxDefaultPosition, wxDefaultSize, wxCAPTION),
      transfer_(transfer),
      // Until the Clients have chosen their acknowledging Client, that is what the
      // Client line says.
      controls_(this, "Multicasting image file:", "Client Master Name:", wxString::FromUTF8(transfer.file_name()),
                kestrelon::kWorkingText),
      refresh_timer_(this, ids::kRefreshTimer) {
  CentreOnParent();
  Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent&) {
    refresh_timer_.Start(ids::kRefreshPeriodMs);
    // The copy starts once the modal loop runs, so that a failed start can end it.
    CallAfter(&CTransferDlg::Open);
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Refresh(); }, ids::kRefreshTimer);
  // There is no way to end a copy with OK: every end is the cancel path.
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); }, wxID_CANCEL);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); }, wxID_OK);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Cancel(); });
}

CTransferDlg::~CTransferDlg() {
  *alive_ = false;
  refresh_timer_.Stop();
}

void CTransferDlg::Open() {
  // Cancelled before the copy could start: nothing is started.
  if (transfer_.ended()) {
    EndWindow();
    return;
  }
  // The transfer outlives this window; a cancel after the window has gone must
  // not reach it.
  transfer_.open(std::time(nullptr), [this, alive = alive_] {
    if (*alive) EndWindow();
  });
}

void CTransferDlg::Refresh() {
  if (const auto texts = transfer_.refresh(std::time(nullptr))) controls_.Show(*texts, transfer_.range_high());
}

void CTransferDlg::Cancel() {
  if (transfer_.ended())
    EndWindow();
  else
    transfer_.cancel();
}

void CTransferDlg::EndWindow() {
  refresh_timer_.Stop();
  // The last texts stay on the window while it closes: where the copy ended.
  Refresh();
  if (IsModal()) EndModal(wxID_CANCEL);
}
