#include "room_pcs.h"

#include "app/group_store.h"
#include "client_choice.h"
#include "commands/group_load.h"
#include "error_report.h"
#include "model/client_row_text.h"

namespace kestrelon::cli {

std::optional<RoomPcs> RoomPcs::of(ControllerCore& core, const std::string& group,
                                   const std::vector<std::string>& clients, int disk) {
  RoomPcs pcs(group, clients, disk);
  pcs.rows_.insert_client_columns();
  if (!group.empty()) {
    const GroupStore store(core.profile());
    read_group_rows(store, group, pcs.rows_);
    if (!store.find(group) || pcs.rows_.row_count() == 0) {
      report_error("copy", "no group '" + printable(group) + "' with members in " + core.profile().path().string());
      return std::nullopt;
    }
    return pcs;
  }
  for (const std::string& c : clients) {
    const int row = pcs.rows_.row_count();
    pcs.rows_.set_cell(row, 0, c);
    if (const auto address = Ipv4Address::parse(c)) pcs.rows_.set_cell(row, 1, address->padded_text());
  }
  return pcs;
}

std::vector<std::string> RoomPcs::names() const {
  std::vector<std::string> names;
  for (int r = 0; r < rows_.row_count(); ++r) names.push_back(rows_.cell(r, 0));
  return names;
}

std::vector<ListedState> RoomPcs::look(ControllerCore& core, std::uint64_t image_sectors, bool include_protected) {
  const CheckListModel& main = core.main_client_list().rows();
  found_at_.assign(static_cast<std::size_t>(rows_.row_count()), "");
  if (!group_.empty()) {
    CheckListModel members = rows_;
    const GroupLoad load = load_group(core, members);
    for (std::size_t j = 0; j < load.rows.size(); ++j)
      if (load.rows[j] >= 0) found_at_[j] = main.cell(load.rows[j], 1);
  } else {
    core.main_client_list().rows().uncheck_all();
    check_clients(core, false, clients_);
    choose_disk(core, disk_, false);
    for (std::size_t j = 0; j < clients_.size(); ++j) {
      const std::vector<int> found = rows_of(main, clients_[j]);
      if (!found.empty()) found_at_[j] = main.cell(found.front(), 1);
    }
  }
  const std::vector<InventoryEntry> inventory = core.inventory().read().entries;
  std::vector<ListedState> states;
  for (const std::string& at : found_at_) {
    const auto address = address_from_padded_text(at);
    states.push_back(address ? listed_state(core, *address, image_sectors, include_protected, inventory)
                             : std::nullopt);
  }
  return states;
}

}  // namespace kestrelon::cli
