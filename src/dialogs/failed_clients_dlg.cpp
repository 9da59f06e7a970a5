#include "dialogs/failed_clients_dlg.h"

#include "dialogs/client_rows_list.h"

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : wxDialog(parent, kTemplateId, "List of failed Clients") {
  BuildClientRowsBody(this, {kList, wxEmptyString, wxID_OK, "OK"}, rows_, rows);
}
