#pragma once
// "List Of Clients With Insufficient Disk Space": the checked Clients whose
// target disk is smaller than the image, shown before a Copy is refused. Their
// rows in the main list have been unchecked already; "Uncheck" only closes it.
#include <vector>

#include "dialogs/client_rows_dlg.h"

class CLowDiskSpaceDlg : public CClientRowsDlg {
 public:
  static constexpr int kTemplateId = 164;
  static constexpr int kList = 1144;
  static constexpr int kUncheck = 105;

  CLowDiskSpaceDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows);
};
