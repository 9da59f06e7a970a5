// Finding a group's members among the listed Clients when addresses come from
// DHCP: by MAC address, by name, and at the stored address only when nothing
// says the Client there is another PC.
#include "model/group_member_match.h"

#include <gtest/gtest.h>

#include "model/group_rows.h"

namespace kestrelon {
namespace {

MacAddress mac(int last) { return MacAddress({0x52, 0x54, 0, 0x4b, 0, static_cast<std::uint8_t>(last)}); }

TEST(GroupMemberMatch, MembersAreFoundByMacThenNameThenTheirStoredAddress) {
  const std::vector<MatchCandidate> listed = {
      {"PC-07", "010.001.012.104", mac(7)},  // took PC-04's old address
      {"PC-04", "010.001.012.131", mac(4)},  // moved
      {"RENAMED", "010.001.012.150", mac(9)},  // PC-09 renamed, found by its card
      {"PC-11", "010.001.012.111", std::nullopt},  // no MAC known: found by name
      {"PC-20", "010.001.012.120", std::nullopt},
  };
  const std::vector<MatchCandidate> members = {
      {"PC-04", "010.001.012.104", mac(4)},
      {"PC-09", "010.001.012.109", mac(9)},
      {"pc-11", "010.001.012.099", std::nullopt},  // letter case aside
      {"OLD-NAME", "010.001.012.120", std::nullopt},  // renamed at the same address
      {"PC-30", "010.001.012.130", mac(30)},  // switched off
  };
  const std::vector<MemberMatch> m = match_group_members(listed, members);
  ASSERT_EQ(m.size(), members.size());
  EXPECT_EQ(m[0].rows, std::vector<int>{1});
  EXPECT_EQ(m[0].by, MatchedBy::mac);
  EXPECT_TRUE(m[0].moved) << "PC-07 at PC-04's old address is not PC-04";
  EXPECT_EQ(m[1].rows, std::vector<int>{2});
  EXPECT_EQ(m[1].by, MatchedBy::mac);
  EXPECT_EQ(m[2].rows, std::vector<int>{3});
  EXPECT_EQ(m[2].by, MatchedBy::name);
  EXPECT_EQ(m[3].rows, std::vector<int>{4});
  EXPECT_EQ(m[3].by, MatchedBy::address);
  EXPECT_FALSE(m[3].moved);
  EXPECT_FALSE(m[4].found());
}

TEST(GroupMemberMatch, TheStoredAddressDoesNotHoldWhenTheClientThereIsAnotherPc) {
  // PC-04 and PC-07 swapped addresses; nothing is known of their MAC addresses.
  const std::vector<MatchCandidate> listed = {{"PC-07", "010.000.000.004", std::nullopt},
                                              {"PC-04", "010.000.000.007", std::nullopt}};
  const std::vector<MatchCandidate> members = {{"PC-04", "010.000.000.004", std::nullopt},
                                               {"GONE", "010.000.000.007", std::nullopt}};
  std::vector<MemberMatch> m = match_group_members(listed, members);
  EXPECT_EQ(m[0].rows, std::vector<int>{1});
  EXPECT_FALSE(m[1].found()) << "PC-04 moved to .7, so the member stored at .7 is not there";

  // A known MAC address that differs: another PC has the address now.
  m = match_group_members({{"PC-07", "010.000.000.004", mac(7)}}, {{"PC-04", "010.000.000.004", mac(4)}});
  EXPECT_FALSE(m[0].found());

  // Several Clients behind one network card (emulated in one process): the MAC
  // address alone names none of them, the name picks the one.
  m = match_group_members({{"A", "010.000.000.001", mac(1)}, {"B", "010.000.000.002", mac(1)}},
                          {{"B", "010.000.000.009", mac(1)}, {"C", "010.000.000.008", mac(1)}});
  EXPECT_EQ(m[0].rows, std::vector<int>{1});
  EXPECT_FALSE(m[1].found());

  // Two Clients of one name and no MAC address: neither is known to be the member.
  m = match_group_members({{"X", "010.000.000.001", std::nullopt}, {"X", "010.000.000.002", std::nullopt}},
                          {{"X", "010.000.000.003", std::nullopt}});
  EXPECT_FALSE(m[0].found());
}

TEST(GroupMemberMatch, LoadingReportsMovedMembersAndChecksTheirNewRows) {
  ClientTables tables;
  ClientRecord& c = tables.clients[static_cast<std::size_t>(tables.client_count++)];
  c.set_name("PC-04");
  c.address = Ipv4Address(10, 0, 0, 31);
  c.disk_count = 2;
  CheckListModel main;
  main.insert_client_columns();
  main.append_client_row({"PC-04", "010.000.000.031", 2, 0, 100}, false);
  CheckListModel members;
  members.insert_client_columns();
  append_group_row(members, parse_group_entry("PC-04,010.000.000.004,2,1,100"));
  const GroupMacs macs{.of_row = [](const std::string&) { return std::optional<MacAddress>(mac(4)); },
                       .of_member = [](const std::string&) { return std::optional<MacAddress>(mac(4)); }};
  const std::vector<MovedMember> moved = load_group_rows(main, members, tables, macs);
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].name, "PC-04");
  EXPECT_EQ(moved[0].stored_address, "010.000.000.004");
  EXPECT_EQ(moved[0].address, "010.000.000.031");
  EXPECT_EQ(main.check_state(0), kChecked);
  EXPECT_EQ(main.cell(0, 3), "Disk 2 (100Mb)");
  EXPECT_EQ(tables.clients[0].selected_disk, 1) << "the Client at the new address takes the stored disk";
  // The next save takes the main list's rows: the new address.
  EXPECT_EQ(format_group_entry(checked_members(main)[0]), "PC-04,010.000.000.031,2,1,100");
}

}  // namespace
}  // namespace kestrelon
