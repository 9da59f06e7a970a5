#include "dialogs/client_rows_list.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "controls/check_list_ctrl.h"
#include "model/check_list_model.h"
#include "model/dialog_units.h"

using kestrelon::dialog_rect;

void BuildClientRowsBody(wxDialog* dialog, const ClientRowsBody& body, kestrelon::CheckListModel& model,
                         const std::vector<kestrelon::ClientRowFields>& rows) {
  // The dialog's geometry is in pixels of the classic 8-point dialog font.
  dialog->SetFont(wxFont(wxFontInfo(8)));
  // Wide enough for the four columns side by side and for each line of the text.
  const int text_height = body.text.empty() ? 0 : 33;
  const auto client = dialog_rect(0, 0, 310, 160 + text_height);
  const auto frame = dialog_rect(7, 7, 296, 124 + text_height);
  const auto text = dialog_rect(14, 19, 282, 30);
  const auto list = dialog_rect(14, 19 + text_height, 282, 105);
  const auto button = dialog_rect(130, 139 + text_height, 50, 14);
  dialog->SetClientSize(client.width, client.height);
  new wxStaticBox(dialog, wxID_ANY, "Clients", wxPoint(frame.x, frame.y), wxSize(frame.width, frame.height));
  if (!body.text.empty())
    new wxStaticText(dialog, wxID_ANY, body.text, wxPoint(text.x, text.y), wxSize(text.width, text.height));

  model.set_check_images(false);
  model.set_single_selection(true);
  model.insert_client_columns();
  for (const auto& row : rows) model.append_client_row(row);
  auto* view = new CCheckListCtrl(dialog, body.list_id, model, wxPoint(list.x, list.y),
                                  wxSize(list.width, list.height));
  view->SetMinimumColumnText(1, "000.000.000.000");

  auto* close = new wxButton(dialog, body.button_id, body.button_label, wxPoint(button.x, button.y),
                             wxSize(button.width, button.height));
  close->SetDefault();
  close->SetFocus();
  // The button, the keyboard and the close box all just close the list.
  dialog->SetEscapeId(body.button_id);
  dialog->Bind(wxEVT_BUTTON, [dialog](wxCommandEvent&) { dialog->EndModal(wxID_CANCEL); }, body.button_id);
  dialog->CentreOnParent();
}
