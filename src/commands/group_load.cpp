#include "commands/group_load.h"

#include "model/client_row_text.h"
#include "model/group_rows.h"

namespace kestrelon {

void read_group_rows(const GroupStore& store, std::string_view name, CheckListModel& members) {
  members.delete_all_rows();
  for (const GroupEntry& entry : store.read(name)) append_group_row(members, entry);
}

GroupLoad load_group(ControllerCore& core, CheckListModel& members) {
  CheckListModel& main = core.main_client_list().rows();
  main.uncheck_all();
  members.uncheck_all();
  // The MAC addresses of the Clients listed this moment, and those the inventory
  // remembers for the members' names.
  MacLearner& learner = core.mac_learner();
  learner.pass(true);
  const std::vector<InventoryEntry> inventory = core.inventory().read().entries;
  const GroupMacs macs{
      .of_row = [&learner](const std::string& address_text) -> std::optional<MacAddress> {
        const auto address = address_from_padded_text(address_text);
        return address ? learner.mac_of(*address) : std::nullopt;
      },
      .of_member = [&inventory](const std::string& name) -> std::optional<MacAddress> {
        const int i = find_entry(inventory, name);
        return i >= 0 ? inventory[static_cast<std::size_t>(i)].mac : std::nullopt;
      }};
  GroupLoad load;
  {
    SemaphoreGuard hold(core.locks().client_table);
    load.moved = load_group_rows(main, members, core.tables(), macs, &load.rows);
  }
  for (int r = 0; r < members.row_count(); ++r) load.missing += members.check_state(r) == kChecked ? 0 : 1;
  return load;
}

std::string moved_member_text(const MovedMember& m) {
  const auto now = address_from_padded_text(m.address);
  const auto stored = address_from_padded_text(m.stored_address);
  return m.name + " now answers at " + (now ? now->text() : m.address) + " (the group has " +
         (stored ? stored->text() : m.stored_address) + ").";
}

}  // namespace kestrelon
