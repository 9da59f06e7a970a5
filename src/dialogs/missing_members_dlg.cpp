#include "dialogs/missing_members_dlg.h"

#include "model/group_rows.h"

CMissingMembersDlg::CMissingMembersDlg(wxWindow* parent, const kestrelon::CheckListModel& members)
    : CFailedClientsDlg(parent) {
  // The texts as the group's list shows them, not rebuilt from their fields.
  kestrelon::append_unchecked_rows(members, rows_);
}
