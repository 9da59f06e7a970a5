#pragma once
// The Load Group dialog without its window: the group names, the group chosen in
// the list with its rows, when "Load Group" and "Delete Group" are enabled, and
// what each button does. Loading applies the rows as they were read when the
// group was chosen. CLoadGroupDlg shows it; tests drive it directly.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "app/group_store.h"
#include "commands/group_port.h"
#include "commands/room_watch.h"
#include "model/check_list_model.h"

namespace kestrelon {

class LoadGroupDialog {
 public:
  LoadGroupDialog(ControllerCore& core, GroupPort& port, WakeSeams seams = WakeSeams::system());

  // The list box's entries: read from the file at the start and after a deletion.
  const std::vector<std::string>& group_names() const { return names_; }
  // The chosen group's name (control 1065); empty when none is chosen.
  const std::string& chosen() const { return chosen_; }
  // A group chosen in the list: its rows in `preview`.
  void select_group(const std::string& name, CheckListModel& preview);
  // "Load Group" and "Delete Group": a group is chosen and the list is not empty.
  bool buttons_enabled() const { return !chosen_.empty() && !names_.empty(); }
  // "Load Group" pressed. After "Select a group !" the dialog stays open.
  // Otherwise the target table has been rebuilt from the check marks as they
  // were, then the group has been loaded into the main client list and the dialog
  // ends with OK, first showing "List of failed Clients" when members are missing:
  // the rows of `preview` that loading left unchecked.
  // Members found at another address are told of first, one line each.
  // With the wake chosen, the missing members are woken (loaded_waking); a
  // message names those that could not be.
  enum class LoadResult { stay_open, loaded, loaded_with_missing, loaded_waking };
  LoadResult load(CheckListModel& preview);
  void set_wake(bool wake) { wake_ = wake; }
  bool wake() const { return wake_; }
  // The watch over the woken members, once, after loaded_waking.
  std::unique_ptr<RoomWatch> take_watch() { return std::move(watch_); }
  // "Delete Group" pressed, with the list's selected entry (nullopt for none).
  // True when the group list was read again (the group is gone); the chosen name
  // and the preview are cleared whenever a group was selected.
  bool remove(const std::optional<std::string>& selected, CheckListModel& preview);
  // The Cancel button's caption: "Close" once a group has been deleted.
  const char* cancel_caption() const { return deleted_ ? "Close" : "Cancel"; }

 private:
  ControllerCore& core_;
  GroupPort& port_;
  GroupStore store_;
  std::vector<std::string> names_;
  std::string chosen_;
  bool deleted_ = false;
  bool wake_ = false;
  WakeSeams seams_;
  std::unique_ptr<RoomWatch> watch_;
};

// "Not woken: PC-09 (not in the Client inventory ...)." for the members whose
// packet could not be sent; empty when every one went.
std::string unwoken_text(const std::vector<WakeOutcome>& outcomes);

}  // namespace kestrelon
