#pragma once
// Load Group: the groups saved so far and the members of the one chosen; loading
// checks the members that are listed, with their stored target disks, and shows
// the others in "List of failed Clients"; Delete Group removes the chosen group.
// "Wake the PCs" wakes the members that are not on the network instead of
// listing them; the watch that checks them as they come goes to the caller.
// The rules are kestrelon::LoadGroupDialog's; this window shows them.
#include <memory>

#include <wx/dialog.h>

#include "commands/load_group_dialog.h"
#include "dialogs/dialog_parts.h"
#include "dialogs/wx_group_port.h"
#include "model/check_list_model.h"

class wxButton;
class wxCheckBox;
class wxListBox;
class wxStaticText;

class CLoadGroupDlg : public wxDialog {
 public:
  CLoadGroupDlg(wxWindow* parent, kestrelon::ControllerCore& core,
                kestrelon::WakeSeams seams = kestrelon::WakeSeams::system());
  ~CLoadGroupDlg() override;

  wxListBox* Groups() const { return groups_; }
  wxStaticText* NameText() const { return name_; }
  wxButton* LoadButton() const { return load_; }
  wxButton* DeleteButton() const { return delete_; }
  wxButton* CancelButton() const { return cancel_; }
  wxCheckBox* WakeBox() const { return wake_; }
  const kestrelon::CheckListModel& PreviewRows() const { return preview_rows_; }
  // After Load Group with the wake: the watch over the woken members.
  std::unique_ptr<kestrelon::RoomWatch> TakeWatch() { return rules_.take_watch(); }

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
  wxCheckBox* wake_ = nullptr;
};
