#pragma once
// The body of the smaller dialogs that list Clients (the failed Clients, the
// Clients with too little disk space): a "Clients" frame around an optional text
// and a list of the four Client columns, one row per given Client in the given
// order and no check boxes, and one button under it that closes the dialog. The
// dialog owns the model; the list only draws it.
#include <vector>

#include <wx/string.h>

#include "net/client_list_view.h"

class wxDialog;

namespace kestrelon {
class CheckListModel;
}

struct ClientRowsBody {
  int list_id = 0;
  wxString text;  // above the list; none when empty
  int button_id = 0;
  wxString button_label;
};

// Builds the body on `dialog` and sizes the dialog around it.
void BuildClientRowsBody(wxDialog* dialog, const ClientRowsBody& body, kestrelon::CheckListModel& model,
                         const std::vector<kestrelon::ClientRowFields>& rows);
