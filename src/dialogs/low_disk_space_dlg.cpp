#include "dialogs/low_disk_space_dlg.h"

#include <wx/button.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "dialogs/client_rows_list.h"
#include "model/dialog_units.h"

using kestrelon::dialog_rect;

namespace {

constexpr const char* kExplanation =
    "Following clients have insuficient disk space for the image being sent.\n"
    "By pressing the Uncheck button you will uncheck them.\n"
    "Only clients with sufficient disk space will remain checked.";

}  // namespace

CLowDiskSpaceDlg::CLowDiskSpaceDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : wxDialog(parent, kTemplateId, "List Of Clients With Insufficient Disk Space") {
  SetFont(wxFont(wxFontInfo(8)));
  const auto client = dialog_rect(0, 0, 270, 190);
  const auto frame = dialog_rect(7, 7, 256, 154);
  const auto text = dialog_rect(14, 19, 242, 28);
  const auto list = dialog_rect(14, 50, 242, 104);
  const auto uncheck = dialog_rect(110, 169, 50, 14);
  SetClientSize(client.width, client.height);
  new wxStaticBox(this, wxID_ANY, "Clients", wxPoint(frame.x, frame.y), wxSize(frame.width, frame.height));
  new wxStaticText(this, wxID_ANY, kExplanation, wxPoint(text.x, text.y), wxSize(text.width, text.height));
  CreateClientRowsList(this, kList, rows_, rows, wxPoint(list.x, list.y), wxSize(list.width, list.height));
  auto* button = new wxButton(this, kUncheck, "Uncheck", wxPoint(uncheck.x, uncheck.y),
                              wxSize(uncheck.width, uncheck.height));
  button->SetDefault();
  button->SetFocus();
  // The rows are unchecked already: the button, the keyboard and the close box
  // all just close the list.
  SetEscapeId(kUncheck);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); }, kUncheck);
  CentreOnParent();
}
