#pragma once
// "List of failed Clients": the Clients that did not complete a Copy, in
// target-table order, with an OK button.
#include <vector>

#include "dialogs/client_rows_dlg.h"

class CFailedClientsDlg : public CClientRowsDlg {
 public:
  CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows);

 protected:
  // An empty list, for a list of failed Clients that fills its rows itself.
  explicit CFailedClientsDlg(wxWindow* parent);
};
