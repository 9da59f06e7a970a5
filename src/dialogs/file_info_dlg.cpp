#include "dialogs/file_info_dlg.h"

#include <wx/button.h>
#include <wx/textctrl.h>

#include "model/dialog_units.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

CFileInfoDlg::CFileInfoDlg(wxWindow* parent, const wxString& text)
    : wxDialog(parent, 162, kestrelon::text::kFileInfoTitle) {
  using kestrelon::dialog_rect;
  const auto client = dialog_rect(0, 0, 329, 156);
  const auto edit = dialog_rect(7, 7, 315, 121);
  const auto ok = dialog_rect(139, 135, 50, 14);
  SetClientSize(client.width, client.height);
  // The text control keeps its own line ends; "\r\n" would show a stray mark here.
  wxString lines = text;
  lines.Replace("\r\n", "\n");
  edit_ = new wxTextCtrl(this, kestrelon::ids::kFileInfoText, lines, wxPoint(edit.x, edit.y),
                         wxSize(edit.width, edit.height),
                         wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxBORDER_SUNKEN);
  auto* button = new wxButton(this, wxID_OK, "OK", wxPoint(ok.x, ok.y), wxSize(ok.width, ok.height));
  button->SetDefault();
  CentreOnParent();
}
