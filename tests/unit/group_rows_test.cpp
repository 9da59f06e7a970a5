// Groups as check-list rows: what a save takes from the main client list, the
// rows a stored entry shows, and loading a group into the main client list.
#include "model/group_rows.h"

#include <gtest/gtest.h>

#include "model/client_row_text.h"

namespace kestrelon {
namespace {

std::vector<std::string> row_texts(const CheckListModel& rows, int r) {
  return {rows.cell(r, 0), rows.cell(r, 1), rows.cell(r, 2), rows.cell(r, 3)};
}

void add_client(ClientTables& tables, const std::string& name, Ipv4Address address, int disks) {
  ClientRecord& c = tables.clients[static_cast<std::size_t>(tables.client_count++)];
  c.set_name(name);
  c.address = address;
  c.disk_count = disks;
  for (int d = 0; d < disks; ++d) c.disks[static_cast<std::size_t>(d)].size_sectors = (d + 1) * 2048u * 100;
}

TEST(GroupRows, ASaveTakesTheCheckedRowsAsTheyShow) {
  CheckListModel main;
  main.insert_client_columns();
  main.append_client_row({"Alpha", "010.000.000.001", 2, 1, 4095}, true);
  main.append_client_row({"Beta", "010.000.000.002", 1, 0, 100}, false);
  main.append_client_row({"Gamma", "010.000.000.003", 1, -1, 0}, true);  // no disk selected
  main.append_client_row({"Odd", "10.0.0.4", 1, 0, 5}, true);            // not a Client row's address
  const std::vector<ClientRowFields> members = checked_members(main);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(format_group_entry(members[0]), "Alpha,010.000.000.001,2,1,4095");
  EXPECT_EQ(format_group_entry(members[1]), "Gamma,010.000.000.003,1,-1,0");
}

TEST(GroupRows, AnEntryShowsItsTextsWithTheStoredSize) {
  CheckListModel rows;
  rows.insert_client_columns();
  append_group_row(rows, parse_group_entry("PC-01,192.168.001.020,2,0,2047"));
  append_group_row(rows, {"Hand made", "010.000.000.001", "999999999", "1", "12,5"});
  append_group_row(rows, parse_group_entry("PC,3,010.000.000.003,1,-1,0"));
  ASSERT_EQ(rows.row_count(), 3);
  EXPECT_EQ(row_texts(rows, 0),
            (std::vector<std::string>{"PC-01", "192.168.001.020", disk_marks(2), "Disk 1 (2047Mb)"}));
  // A count no Client can have shows the four disks a Client can have at most.
  EXPECT_EQ(row_texts(rows, 1), (std::vector<std::string>{"Hand made", "010.000.000.001", disk_marks(4), "Disk 2 (12,5Mb)"}));
  EXPECT_EQ(row_texts(rows, 2), (std::vector<std::string>{"PC,3", "010.000.000.003", disk_marks(1), "Disk 0 (0Mb)"}));
  for (int r = 0; r < 3; ++r) EXPECT_EQ(rows.check_state(r), kUnchecked);
}

TEST(GroupRows, LoadingChecksTheMembersWithTheirDisksAndLeavesTheMissingUnchecked) {
  ClientTables tables;
  add_client(tables, "Alpha", Ipv4Address(10, 0, 0, 1), 2);
  add_client(tables, "Beta", Ipv4Address(10, 0, 0, 2), 2);
  add_client(tables, "Gamma", Ipv4Address(10, 0, 0, 3), 1);
  CheckListModel main;
  main.insert_client_columns();
  for (int i = 0; i < tables.client_count; ++i)
    main.append_client_row({tables.clients[static_cast<std::size_t>(i)].name_text(),
                            tables.clients[static_cast<std::size_t>(i)].address.padded_text(),
                            tables.clients[static_cast<std::size_t>(i)].disk_count, 0, 100});
  // The same address listed twice: every such row is checked.
  main.append_client_row({"Beta again", "010.000.000.002", 2, 0, 100});

  CheckListModel members;
  members.insert_client_columns();
  // The name plays no part: the address is the key.
  append_group_row(members, parse_group_entry("Renamed,010.000.000.002,2,0,100"));
  append_group_row(members, parse_group_entry("Gone,010.000.000.009,1,0,50"));
  append_group_row(members, parse_group_entry("Alpha,010.000.000.001,2,1,200"));
  // Beta twice in the group: the last entry's disk wins.
  append_group_row(members, parse_group_entry("Beta,010.000.000.002,2,1,200"));

  load_group_rows(main, members, tables);
  EXPECT_EQ(main.check_state(0), kChecked);
  EXPECT_EQ(main.cell(0, 3), "Disk 2 (200Mb)");
  EXPECT_EQ(main.check_state(1), kChecked);
  EXPECT_EQ(main.cell(1, 3), "Disk 2 (200Mb)");
  EXPECT_EQ(main.check_state(2), kUnchecked);
  EXPECT_EQ(main.cell(2, 3), "Disk 1 (100Mb)");
  EXPECT_EQ(main.check_state(3), kChecked);
  EXPECT_EQ(main.cell(3, 3), "Disk 2 (200Mb)");
  EXPECT_EQ(tables.clients[0].selected_disk, 1);
  EXPECT_EQ(tables.clients[1].selected_disk, 1);
  EXPECT_EQ(tables.clients[2].selected_disk, 0);
  EXPECT_EQ(members.check_state(0), kChecked);
  EXPECT_EQ(members.check_state(1), kUnchecked) << "not on the network";
  EXPECT_EQ(members.check_state(2), kChecked);
  EXPECT_EQ(members.check_state(3), kChecked);

  CheckListModel missing;
  missing.insert_client_columns();
  append_unchecked_rows(members, missing);
  ASSERT_EQ(missing.row_count(), 1);
  EXPECT_EQ(row_texts(missing, 0), (std::vector<std::string>{"Gone", "010.000.000.009", disk_marks(1), "Disk 1 (50Mb)"}));
}

TEST(GroupRows, AGroupWithNoMemberOnTheNetworkChecksNothing) {
  ClientTables tables;
  add_client(tables, "Alpha", Ipv4Address(10, 0, 0, 1), 1);
  CheckListModel main;
  main.insert_client_columns();
  main.append_client_row({"Alpha", "010.000.000.001", 1, 0, 100});
  CheckListModel members;
  members.insert_client_columns();
  append_group_row(members, parse_group_entry("X,010.000.000.007,1,0,1"));
  append_group_row(members, parse_group_entry("Y,010.000.000.008,1,0,1"));
  load_group_rows(main, members, tables);
  EXPECT_EQ(main.check_state(0), kUnchecked);
  EXPECT_EQ(main.cell(0, 3), "Disk 1 (100Mb)");
  CheckListModel missing;
  append_unchecked_rows(members, missing);
  EXPECT_EQ(missing.row_count(), 2);
  EXPECT_EQ(missing.cell(1, 0), "Y");
}

}  // namespace
}  // namespace kestrelon
