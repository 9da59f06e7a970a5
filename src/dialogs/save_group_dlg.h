#pragma once
// Save Group: the groups saved so far, a preview of the one chosen, the checked
// Clients about to be saved, and the name to save them under. The rules are
// kestrelon::SaveGroupDialog's; this window shows them.
#include <wx/dialog.h>

#include "commands/save_group_dialog.h"
#include "dialogs/dialog_parts.h"
#include "dialogs/wx_group_port.h"
#include "model/check_list_model.h"

class wxButton;
class wxListBox;
class wxTextCtrl;

class CSaveGroupDlg : public wxDialog {
 public:
  CSaveGroupDlg(wxWindow* parent, kestrelon::ControllerCore& core);
  ~CSaveGroupDlg() override;

  wxListBox* Groups() const { return groups_; }
  wxTextCtrl* NameEdit() const { return name_; }
  wxButton* SaveButton() const { return save_; }
  const kestrelon::CheckListModel& PreviewRows() const { return preview_rows_; }
  const kestrelon::CheckListModel& ContentsRows() const { return contents_rows_; }

 private:
  void OnGroupSelected();
  void OnSave();
  void UpdateSaveButton();

  WxGroupPort port_;
  kestrelon::SaveGroupDialog rules_;
  kestrelon::CheckListModel preview_rows_;
  kestrelon::CheckListModel contents_rows_;
  CGroupList* groups_ = nullptr;
  wxTextCtrl* name_ = nullptr;
  wxButton* save_ = nullptr;
};
