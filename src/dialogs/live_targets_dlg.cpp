#include "dialogs/live_targets_dlg.h"

#include <wx/display.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>

#include "ui/room_ids.h"

namespace ids = kestrelon::ids;

CLiveTargetsDlg::CLiveTargetsDlg(wxWindow* transfer_dialog, const kestrelon::CopyTargetReport& report)
    : wxDialog(transfer_dialog, ids::kLiveTargetsDialog, "Clients of this copy", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxRESIZE_BORDER),
      report_(report),
      timer_(this) {
  list_ = new wxListCtrl(this, ids::kLiveTargetsList, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_NO_SORT_HEADER);
  static constexpr int kWidths[] = {120, 100, 70, 250};
  for (int c = 0; c < 4; ++c) list_->AppendColumn(kestrelon::kLiveTargetColumns[c], wxLIST_FORMAT_LEFT, kWidths[c]);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(list_, 1, wxEXPAND | wxALL, 6);
  SetSizer(sizer);
  SetSize(FromDIP(wxSize(560, 260)));
  // Beside the Transfer dialog, not over it.
  const wxRect dialog = transfer_dialog->GetScreenRect();
  const wxRect screen = wxDisplay(transfer_dialog).GetClientArea();
  const kestrelon::PixelRect at =
      kestrelon::live_table_place({dialog.x, dialog.y, dialog.width, dialog.height}, GetSize().x, GetSize().y,
                                  {screen.x, screen.y, screen.width, screen.height});
  SetPosition(wxPoint(at.x, at.y));
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Refresh333(); });
  Refresh333();
  timer_.Start(333);
}

void CLiveTargetsDlg::Refresh333() {
  if (!rows_.update(report_.states())) return;
  const auto& rows = rows_.rows();
  list_->Freeze();
  while (list_->GetItemCount() > static_cast<int>(rows.size())) list_->DeleteItem(list_->GetItemCount() - 1);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const long row = static_cast<long>(r);
    if (row >= list_->GetItemCount()) list_->InsertItem(row, wxString());
    for (int c = 0; c < 4; ++c) list_->SetItem(row, c, wxString::FromUTF8(rows[r][static_cast<std::size_t>(c)]));
  }
  list_->Thaw();
  SetTitle(wxString::Format("Clients of this copy: %d of %d copied", rows_.done(), rows_.targets()));
}
