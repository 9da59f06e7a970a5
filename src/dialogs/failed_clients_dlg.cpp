#include "dialogs/failed_clients_dlg.h"

#include <algorithm>

#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;

namespace {

// The reason column: wide enough for "fell silent; last heard: acknowledgement
// of block 40, 3.2 s before the end" at the dialog's font.
constexpr int kReasonWidthUnits = 22;
constexpr int kReasonDialogUnits = 220;

bool AnyReason(const std::vector<std::string>& reasons) {
  return std::any_of(reasons.begin(), reasons.end(), [](const std::string& r) { return !r.empty(); });
}

}  // namespace

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent, int extra_width)
    : CClientRowsDlg(parent, ids::kFailedClientsDialog, kestrelon::text::kFailedClientsTitle,
                     {ids::kFailedClientsList, wxEmptyString, wxID_OK, "OK", extra_width}) {}

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows,
                                     const std::vector<std::string>& reasons)
    : CFailedClientsDlg(parent, AnyReason(reasons) ? kReasonDialogUnits : 0) {
  const bool with_reasons = AnyReason(reasons);
  if (with_reasons) rows_.insert_column(kestrelon::text::kReasonColumn, 4, kReasonWidthUnits);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows_.append_client_row(rows[i]);
    if (with_reasons && i < reasons.size()) rows_.set_cell(static_cast<int>(i), 4, reasons[i]);
  }
}
