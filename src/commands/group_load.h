#pragma once
// Loading a group into the main client list, as the Load Group dialog and
// `kestrelon-cli copy --group` both do: the group's rows are read into a list of
// members, then every main row whose address belongs to the group is checked with
// the member's target disk, and every other row is unchecked.
#include <string_view>

#include "app/controller_core.h"
#include "app/group_store.h"
#include "model/check_list_model.h"

namespace kestrelon {

// Empties `members` and appends one unchecked row per entry of the group, in key
// order.
void read_group_rows(const GroupStore& store, std::string_view name, CheckListModel& members);

// Unchecks every row of the main client list and of `members`, then, under the
// client table lock, checks the rows of the members that are listed and gives
// them and their Clients the members' target disks. Returns the number of
// members left unchecked: those not on the network.
int apply_group_rows(ControllerCore& core, CheckListModel& members);

}  // namespace kestrelon
