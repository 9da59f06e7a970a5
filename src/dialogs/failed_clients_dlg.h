#pragma once
// "List of failed Clients": the Clients that did not complete a Copy, in
// target-table order, with an OK button. Given why each one failed, it shows
// that too, in a fifth column "Reason".
#include <string>
#include <vector>

#include "dialogs/client_rows_dlg.h"

class CFailedClientsDlg : public CClientRowsDlg {
 public:
  CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows,
                    const std::vector<std::string>& reasons = {});

 protected:
  // An empty list without reasons, for a list of failed Clients that fills its
  // rows itself.
  explicit CFailedClientsDlg(wxWindow* parent, int extra_width = 0);
};
