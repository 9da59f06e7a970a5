#include "dialogs/history_dlg.h"

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "ui/room_ids.h"

namespace ids = kestrelon::ids;

namespace {

wxListCtrl* MakeList(wxWindow* parent, int id, const char* const* columns, std::size_t count, const int* widths) {
  auto* list = new wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
  for (std::size_t c = 0; c < count; ++c) list->AppendColumn(columns[c], wxLIST_FORMAT_LEFT, widths[c]);
  return list;
}

void AddRow(wxListCtrl* list, const std::vector<std::string>& cells) {
  const long row = list->InsertItem(list->GetItemCount(), wxString::FromUTF8(cells.empty() ? "" : cells[0]));
  for (std::size_t c = 1; c < cells.size(); ++c)
    list->SetItem(row, static_cast<int>(c), wxString::FromUTF8(cells[c]));
}

}  // namespace

CHistoryDlg::CHistoryDlg(wxWindow* parent, kestrelon::ControllerCore& core)
    : wxDialog(parent, ids::kHistoryDialog, "History", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      core_(core),
      view_(kestrelon::HistoryView::from_journal(core.journal())) {
  static constexpr int kTransferWidths[] = {140, 60, 80, 90, 300};
  static constexpr int kPcWidths[] = {130, 110, 80, 360};
  transfers_ = MakeList(this, ids::kHistoryTransfers, kestrelon::kHistoryTransferColumns, 5, kTransferWidths);
  pcs_ = MakeList(this, ids::kHistoryPcs, kestrelon::kHistoryPcColumns, 4, kPcWidths);
  check_failed_ = new wxButton(this, ids::kHistoryCheckFailed, "Check the failed Clients");
  auto* close = new wxButton(this, wxID_CANCEL, "Close");

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(check_failed_, 0, wxRIGHT, 8);
  buttons->AddStretchSpacer();
  buttons->Add(close);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new wxStaticText(this, wxID_ANY, "Transfers"), 0, wxLEFT | wxTOP | wxRIGHT, 8);
  sizer->Add(transfers_, 1, wxEXPAND | wxALL, 8);
  sizer->Add(new wxStaticText(this, wxID_ANY, "Clients of the transfer chosen"), 0, wxLEFT | wxRIGHT, 8);
  sizer->Add(pcs_, 1, wxEXPAND | wxALL, 8);
  sizer->Add(buttons, 0, wxEXPAND | wxALL, 8);
  SetSizer(sizer);
  SetSize(FromDIP(wxSize(760, 520)));

  for (int i = 0; i < view_.transfer_count(); ++i) AddRow(transfers_, view_.transfer_row(i));
  transfers_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& e) { ShowPcs(static_cast<int>(e.GetIndex())); });
  check_failed_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnCheckFailed(); });
  check_failed_->Disable();
  if (view_.transfer_count() > 0) {
    transfers_->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    ShowPcs(0);
  }
  CentreOnParent();
}

int CHistoryDlg::Selected() const {
  return static_cast<int>(transfers_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void CHistoryDlg::ShowPcs(int transfer) {
  pcs_->DeleteAllItems();
  if (transfer < 0 || transfer >= view_.transfer_count()) return;
  for (const auto& row : view_.pc_rows(transfer)) AddRow(pcs_, row);
  check_failed_->Enable(!view_.failed_clients(transfer).empty());
}

void CHistoryDlg::OnCheckFailed() {
  const int transfer = Selected();
  if (transfer < 0) return;
  const auto missing = kestrelon::check_history_clients(core_, view_.failed_clients(transfer));
  if (!missing.empty()) {
    wxString names;
    for (const auto& m : missing) names += (names.empty() ? "" : ", ") + wxString::FromUTF8(m.name);
    wxMessageBox("Not on the network now, so not checked: " + names, "History", wxOK, this);
  }
  retry_image_ = view_.image(transfer);
  EndModal(wxID_OK);
}
