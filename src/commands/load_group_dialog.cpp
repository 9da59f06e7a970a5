#include "commands/load_group_dialog.h"

#include "commands/group_load.h"

namespace kestrelon {

LoadGroupDialog::LoadGroupDialog(ControllerCore& core, GroupPort& port)
    : core_(core), port_(port), store_(core.profile()), names_(store_.names()) {}

void LoadGroupDialog::select_group(const std::string& name, CheckListModel& preview) {
  read_group_rows(store_, name, preview);
  chosen_ = name;
}

LoadGroupDialog::LoadResult LoadGroupDialog::load(CheckListModel& preview) {
  if (chosen_.empty()) {
    port_.show_message(kSelectGroupText);
    return LoadResult::stay_open;
  }
  // The target table keeps the check marks the load replaces: a Client that
  // drops out and comes back is checked again from it.
  core_.main_client_list().rebuild_target_table(true);
  return apply_group_rows(core_, preview) > 0 ? LoadResult::loaded_with_missing : LoadResult::loaded;
}

bool LoadGroupDialog::remove(const std::optional<std::string>& selected, CheckListModel& preview) {
  if (!selected) {
    port_.show_message(kSelectGroupText);
    return false;
  }
  const bool removed = store_.remove(*selected);
  if (removed) names_ = store_.names();
  chosen_.clear();
  preview.delete_all_rows();
  deleted_ = true;
  return removed;
}

}  // namespace kestrelon
