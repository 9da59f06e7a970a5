#include "dialogs/failed_clients_dlg.h"

#include <wx/button.h>
#include <wx/statbox.h>

#include "dialogs/client_rows_list.h"
#include "model/dialog_units.h"

using kestrelon::dialog_rect;

CFailedClientsDlg::CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : wxDialog(parent, kTemplateId, "List of failed Clients") {
  SetFont(wxFont(wxFontInfo(8)));
  const auto client = dialog_rect(0, 0, 270, 160);
  const auto frame = dialog_rect(7, 7, 256, 124);
  const auto list = dialog_rect(14, 19, 242, 105);
  const auto ok = dialog_rect(110, 139, 50, 14);
  SetClientSize(client.width, client.height);
  new wxStaticBox(this, wxID_ANY, "Clients", wxPoint(frame.x, frame.y), wxSize(frame.width, frame.height));
  CreateClientRowsList(this, kList, rows_, rows, wxPoint(list.x, list.y), wxSize(list.width, list.height));
  auto* button = new wxButton(this, wxID_OK, "OK", wxPoint(ok.x, ok.y), wxSize(ok.width, ok.height));
  button->SetDefault();
  button->SetFocus();
  CentreOnParent();
}
