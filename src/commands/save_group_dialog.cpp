#include "commands/save_group_dialog.h"

#include "commands/group_load.h"
#include "model/group_rows.h"

namespace kestrelon {

SaveGroupDialog::SaveGroupDialog(ControllerCore& core, GroupPort& port)
    : core_(core), port_(port), store_(core.profile()), names_(store_.names()) {}

void SaveGroupDialog::fill_contents(CheckListModel& contents) const {
  // The target table is the meaning of the check marks at every group save.
  core_.main_client_list().rebuild_target_table(true);
  for (const ClientRowFields& member : checked_members(core_.main_client_list().rows()))
    contents.append_client_row(member);
}

void SaveGroupDialog::select_group(const std::string& name, CheckListModel& preview) const {
  read_group_rows(store_, name, preview);
}

bool SaveGroupDialog::save(const std::string& name_text) {
  // A name of blanks only is no name: the file keeps no blanks around a name.
  if (name_text.find_first_not_of(" \t") == std::string::npos) {
    port_.show_message(kEnterGroupNameText);
    return false;
  }
  if (!GroupStore::valid_name(name_text)) {
    port_.show_message(kBadGroupNameText);
    return false;
  }
  if (store_.find(name_text) && !port_.ask_yes_no(kReplaceGroupText)) return false;
  // The rows as they are now: Clients may have left the list while the dialog was open.
  core_.main_client_list().rebuild_target_table(true);
  const std::vector<ClientRowFields> members = checked_members(core_.main_client_list().rows());
  if (members.empty()) {
    port_.show_message(kNoClientCheckedText);
    return false;
  }
  if (store_.save(name_text, members) != GroupStore::SaveResult::saved) {
    port_.show_message(kGroupNotSavedText + store_.profile().path().string() + ".");
    return false;
  }
  return true;
}

}  // namespace kestrelon
