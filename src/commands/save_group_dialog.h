#pragma once
// The Save Group dialog without its window: the group names and the rows to save
// at its start, the preview of a group chosen in the list, when "Save Group" is
// enabled, and what pressing it does (the name checks, the replace question, the
// write). CSaveGroupDlg shows it; tests drive it directly.
#include <string>
#include <string_view>
#include <vector>

#include "app/controller_core.h"
#include "app/group_store.h"
#include "commands/group_port.h"
#include "model/check_list_model.h"

namespace kestrelon {

class SaveGroupDialog {
 public:
  SaveGroupDialog(ControllerCore& core, GroupPort& port);

  // The list box's entries, read from the file when the dialog starts.
  const std::vector<std::string>& group_names() const { return names_; }
  // "Contents of Group to Save": one row per checked Client, in row order, after
  // the target table has been rebuilt from the check marks (again as it saves).
  void fill_contents(CheckListModel& contents) const;
  // A group chosen in the list: its rows in `preview`. The name edit then shows
  // the group's name.
  void select_group(const std::string& name, CheckListModel& preview) const;
  // "Save Group" is enabled exactly when the name edit is not empty.
  static bool save_enabled(std::string_view name_text) { return !name_text.empty(); }
  // "Save Group" pressed with the edit's text. True when the group was written
  // and the dialog ends with OK; false when it stays open (after a message, or
  // after No to the replace question).
  bool save(const std::string& name_text);

 private:
  ControllerCore& core_;
  GroupPort& port_;
  GroupStore store_;
  std::vector<std::string> names_;
};

}  // namespace kestrelon
