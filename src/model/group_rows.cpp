#include "model/group_rows.h"

#include <algorithm>
#include <cstdint>

#include "model/client_row_text.h"
#include "model/decimal_text.h"
#include "model/group_member_match.h"

namespace kestrelon {

std::vector<ClientRowFields> checked_members(const CheckListModel& rows) {
  std::vector<ClientRowFields> members;
  for (int r = 0; r < rows.row_count(); ++r) {
    if (rows.check_state(r) != kChecked || !address_from_padded_text(rows.cell(r, 1))) continue;
    members.push_back(rows.client_row(r));
  }
  return members;
}

void append_group_row(CheckListModel& rows, const GroupEntry& entry) {
  const int row = rows.row_count();
  const std::int64_t disk_number = std::int64_t{decimal_value(entry.disk_index)} + 1;
  rows.set_cell(row, 0, entry.name);
  rows.set_cell(row, 1, entry.address);
  // A hand-edited count must not grow a cell without bound.
  rows.set_cell(row, 2, disk_marks(std::min(decimal_value(entry.disk_count), kMaxDisks)));
  rows.set_cell(row, 3, "Disk " + std::to_string(disk_number) + " (" + entry.size + "Mb)");
}

std::vector<MovedMember> load_group_rows(CheckListModel& main, CheckListModel& members, ClientTables& tables,
                                         const GroupMacs& macs, std::vector<int>* found_rows) {
  std::vector<MatchCandidate> listed;
  for (int i = 0; i < main.row_count(); ++i) {
    const std::string address = main.cell(i, 1);
    listed.push_back({main.cell(i, 0), address, macs.of_row ? macs.of_row(address) : std::nullopt});
  }
  std::vector<MatchCandidate> wanted;
  for (int j = 0; j < members.row_count(); ++j) {
    const std::string name = members.cell(j, 0);
    wanted.push_back({name, members.cell(j, 1), macs.of_member ? macs.of_member(name) : std::nullopt});
  }
  const std::vector<MemberMatch> matches = match_group_members(listed, wanted);
  std::vector<MovedMember> moved;
  if (found_rows) found_rows->assign(static_cast<std::size_t>(members.row_count()), -1);
  for (int j = 0; j < members.row_count(); ++j) {
    const MemberMatch& m = matches[static_cast<std::size_t>(j)];
    if (!m.found()) continue;
    if (found_rows) (*found_rows)[static_cast<std::size_t>(j)] = m.rows.front();
    const std::string target = members.cell(j, 3);
    const auto selected_disk = static_cast<std::int16_t>(disk_index_from_target(target));
    for (int row : m.rows) {
      main.check(row);
      main.set_cell(row, 3, target);
      const std::string address = main.cell(row, 1);
      for (int c = 0; c < tables.client_count; ++c) {
        ClientRecord& client = tables.clients[static_cast<std::size_t>(c)];
        if (client.address.padded_text() == address) client.selected_disk = selected_disk;
      }
    }
    members.check(j);
    if (m.moved) moved.push_back({members.cell(j, 0), members.cell(j, 1), main.cell(m.rows.front(), 1)});
  }
  return moved;
}

void append_unchecked_rows(const CheckListModel& from, CheckListModel& to) {
  for (int r = 0; r < from.row_count(); ++r) {
    if (from.check_state(r) == kChecked) continue;
    const int row = to.row_count();
    for (int c = 0; c < 4; ++c) to.set_cell(row, c, from.cell(r, c));
  }
}

}  // namespace kestrelon
