#include "dialogs/receiving_dlg.h"

#include <ctime>

#include "transfer/transfer_stats.h"

namespace ids = kestrelon::progress_ids;

CReceivingDlg::CReceivingDlg(wxWindow* parent, const kestrelon::ReceivingDialogInfo& info,
                             const kestrelon::TransferStats& stats)
    : wxDialog(parent, kTemplateId, "Receiving", wxDefaultPosition, wxDefaultSize, wxCAPTION),
      info_(info),
      stats_(stats),
      controls_(this, "Receiving image file:", "Client Name:", wxString::FromUTF8(info.file_name),
                wxString::FromUTF8(info.client_name)),
      refresh_timer_(this, ids::kRefreshTimer) {
  CentreOnParent();
  Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent&) {
    start_seconds_ = std::time(nullptr);
    refresh_timer_.Start(ids::kRefreshPeriodMs);
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Refresh(); }, ids::kRefreshTimer);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(wxID_CANCEL); }, wxID_CANCEL);
  Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Finish(wxID_CANCEL); });
}

CReceivingDlg::~CReceivingDlg() { refresh_timer_.Stop(); }

kestrelon::ReceivingDialog::End CReceivingDlg::run_modal() {
  return ShowModal() == wxID_OK ? End::ok : End::cancel;
}

void CReceivingDlg::Refresh() {
  const std::int32_t position = position_.load();
  if (!gate_.take(position)) return;
  controls_.Show(kestrelon::receiving_refresh_texts(stats_, position, std::time(nullptr) - start_seconds_, info_),
                 range_high_.load());
}

void CReceivingDlg::Finish(int result) {
  refresh_timer_.Stop();
  // The last texts stay on the window while it closes: where the upload ended.
  Refresh();
  if (IsModal()) EndModal(result);
}
