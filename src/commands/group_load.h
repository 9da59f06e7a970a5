#pragma once
// Loading a group into the main client list, as the Load Group dialog and
// `kestrelon-cli copy --group` both do: the group's rows are read into a list of
// members, then every main row whose address belongs to the group is checked with
// the member's target disk, and every other row is unchecked.
#include <string>
#include <string_view>
#include <vector>

#include "app/controller_core.h"
#include "app/group_store.h"
#include "model/check_list_model.h"
#include "model/group_rows.h"

namespace kestrelon {

// Empties `members` and appends one unchecked row per entry of the group, in key
// order.
void read_group_rows(const GroupStore& store, std::string_view name, CheckListModel& members);

struct GroupLoad {
  int missing = 0;                  // members left unchecked: not on the network
  std::vector<MovedMember> moved;   // members that answer at another address now
  std::vector<int> rows;            // each member's row in the main client list; -1: not listed
};

// Unchecks every row of the main client list and of `members`, then, under the
// client table lock, checks the rows of the members that are listed (found by
// address, MAC address or name: load_group_rows) and gives them and their
// Clients the members' target disks.
GroupLoad load_group(ControllerCore& core, CheckListModel& members);
// The same; returns the number of members left unchecked.
inline int apply_group_rows(ControllerCore& core, CheckListModel& members) { return load_group(core, members).missing; }

// "ROOM12-PC04 now answers at 10.1.12.131 (the group has 10.1.12.104)."
std::string moved_member_text(const MovedMember& moved);

}  // namespace kestrelon
