#include "dialogs/failed_clients_dlg.h"

#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent)
    : CClientRowsDlg(parent, ids::kFailedClientsDialog, kestrelon::text::kFailedClientsTitle,
                     {ids::kFailedClientsList, wxEmptyString, wxID_OK, "OK"}) {}

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : CFailedClientsDlg(parent) {
  for (const auto& row : rows) rows_.append_client_row(row);
}
