#pragma once
// "List of failed Clients" after Load Group: the members of the loaded group that
// are not on the network, that is the rows of the group's list that loading left
// unchecked. Run by CLoadGroupDlg only when there is at least one.
#include <wx/dialog.h>

#include "model/check_list_model.h"

class CMissingMembersDlg : public wxDialog {
 public:
  // Copies the four texts of every unchecked row of `members`, in order.
  CMissingMembersDlg(wxWindow* parent, const kestrelon::CheckListModel& members);
  ~CMissingMembersDlg() override;

  const kestrelon::CheckListModel& Rows() const { return rows_; }

 private:
  kestrelon::CheckListModel rows_;
};
