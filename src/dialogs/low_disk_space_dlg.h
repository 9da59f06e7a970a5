#pragma once
// "List Of Clients With Insufficient Disk Space": the checked Clients whose
// target disk is smaller than the image, shown before a Copy is refused. Their
// rows in the main list have been unchecked already; "Uncheck" only closes it.
#include <vector>

#include <wx/dialog.h>

#include "model/check_list_model.h"

class CLowDiskSpaceDlg : public wxDialog {
 public:
  static constexpr int kTemplateId = 164;
  static constexpr int kList = 1144;
  static constexpr int kUncheck = 105;

  CLowDiskSpaceDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows);

  const kestrelon::CheckListModel& Rows() const { return rows_; }

 private:
  kestrelon::CheckListModel rows_;
};
