#include "dialogs/client_rows_dlg.h"

#include <wx/button.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "dialogs/dialog_parts.h"
#include "ui/strings.h"

using kestrelon::dialog_rect;

CClientRowsDlg::CClientRowsDlg(wxWindow* parent, int id, const wxString& title, const Body& body)
    : wxDialog(parent, id, title) {
  // The dialog's geometry is in pixels of the classic 8-point dialog font; it is
  // wide enough for the four columns side by side and for each line of the text.
  SetFont(wxFont(wxFontInfo(8)));
  const int text_height = body.text.empty() ? 0 : 33;
  const int w = body.extra_width;
  const auto client = dialog_rect(0, 0, 310 + w, 160 + text_height);
  const auto frame = dialog_rect(7, 7, 296 + w, 124 + text_height);
  const auto text = dialog_rect(14, 19, 282 + w, 30);
  const auto list = dialog_rect(14, 19 + text_height, 282 + w, 105);
  const auto button = dialog_rect(130 + w / 2, 139 + text_height, 50, 14);
  SetClientSize(client.width, client.height);
  new wxStaticBox(this, wxID_ANY, kestrelon::text::kClientsLabel, At(frame), SizeOf(frame));
  if (!body.text.empty()) new wxStaticText(this, wxID_ANY, body.text, At(text), SizeOf(text));
  CreateClientRowsList(this, body.list_id, rows_, list, false);

  auto* close = new wxButton(this, body.button_id, body.button_label, At(button), SizeOf(button));
  close->SetDefault();
  close->SetFocus();
  // The button, the keyboard and the close box all just close the list.
  SetEscapeId(body.button_id);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); }, body.button_id);
  CentreOnParent();
}

// The list reads its rows until it is gone, so it goes before them.
CClientRowsDlg::~CClientRowsDlg() { DestroyChildren(); }
