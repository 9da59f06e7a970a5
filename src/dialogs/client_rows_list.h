#pragma once
// The Client lists of the smaller dialogs (the failed Clients, the Clients with
// too little disk space): the four Client columns, one row per given Client in
// the given order, and no check boxes. The dialog owns the model; the list only
// draws it.
#include <vector>

#include <wx/gdicmn.h>

#include "net/client_list_view.h"

class CCheckListCtrl;
class wxWindow;

namespace kestrelon {
class CheckListModel;
}

CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const std::vector<kestrelon::ClientRowFields>& rows, const wxPoint& position,
                                     const wxSize& size);
