#pragma once
// "List of failed Clients" after Load Group: the members of the loaded group that
// are not on the network, that is the rows of the group's list that loading left
// unchecked. Run by CLoadGroupDlg only when there is at least one.
#include "dialogs/failed_clients_dlg.h"

class CMissingMembersDlg : public CFailedClientsDlg {
 public:
  // Copies the four texts of every unchecked row of `members`, in order.
  CMissingMembersDlg(wxWindow* parent, const kestrelon::CheckListModel& members);
};
