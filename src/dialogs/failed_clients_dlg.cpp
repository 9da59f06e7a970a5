#include "dialogs/failed_clients_dlg.h"

#include <algorithm>

#include "controls/check_list_ctrl.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;

namespace {

// The dialog grows by about the reason column's width; the column itself is as
// wide as its longest reason, and the list scrolls sideways to show it whole.
constexpr int kReasonWidthUnits = 22;
constexpr int kReasonDialogUnits = 240;

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
  std::string longest;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows_.append_client_row(rows[i]);
    if (!with_reasons || i >= reasons.size()) continue;
    rows_.set_cell(static_cast<int>(i), 4, reasons[i]);
    if (reasons[i].size() > longest.size()) longest = reasons[i];
  }
  if (auto* list = dynamic_cast<CCheckListCtrl*>(FindWindow(ids::kFailedClientsList)); list && with_reasons)
    list->SetMinimumColumnText(4, longest);
}
