#pragma once
// Load Group: the groups saved so far and the members of the one chosen; loading
// checks the members that are listed, with their stored target disks, and shows
// the others in "List of failed Clients"; Delete Group removes the chosen group.
// The rules are kestrelon::LoadGroupDialog's; this window shows them.
#include <wx/dialog.h>

#include "commands/load_group_dialog.h"
#include "dialogs/dialog_parts.h"
#include "dialogs/wx_group_port.h"
#include "model/check_list_model.h"

class wxButton;
class wxListBox;
class wxStaticText;

class CLoadGroupDlg : public wxDialog {
 public:
  CLoadGroupDlg(wxWindow* parent, kestrelon::ControllerCore& core);
  ~CLoadGroupDlg() override;

  wxListBox* Groups() const { return groups_; }
  wxStaticText* NameText() const { return name_; }
  wxButton* LoadButton() const { return load_; }
  wxButton* DeleteButton() const { return delete_; }
  wxButton* CancelButton() const { return cancel_; }
  const kestrelon::CheckListModel& PreviewRows() const { return preview_rows_; }

 private:
  void OnGroupSelected();
  void OnLoad();
  void OnDelete();
  void UpdateButtons();

  WxGroupPort port_;
  kestrelon::LoadGroupDialog rules_;
  kestrelon::CheckListModel preview_rows_;
  CGroupList* groups_ = nullptr;
  wxStaticText* name_ = nullptr;
  wxButton* load_ = nullptr;
  wxButton* delete_ = nullptr;
  wxButton* cancel_ = nullptr;
};
