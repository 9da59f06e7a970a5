#pragma once
// "List of failed Clients": the Clients that did not complete a Copy, in
// target-table order, with an OK button. It shows whatever rows it is given, so
// any list of Clients that failed something can use it.
#include <vector>

#include <wx/dialog.h>

#include "model/check_list_model.h"

class CFailedClientsDlg : public wxDialog {
 public:
  static constexpr int kTemplateId = 150;
  static constexpr int kList = 1062;

  CFailedClientsDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows);

  const kestrelon::CheckListModel& Rows() const { return rows_; }

 private:
  kestrelon::CheckListModel rows_;
};
