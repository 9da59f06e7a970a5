// The groups in the profile file: keys in row order, replacing, reading up to the
// first empty key, splitting an entry, letter case of group names, commas in
// Client names, files written by hand, and failed writes.
#include "app/group_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "app/text_file.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

ClientRowFields member(const std::string& name, const std::string& address, int disks = 1, int disk = 0,
                       std::int64_t mb = 1023) {
  return ClientRowFields{name, address, disks, disk, mb};
}

class GroupStoreTest : public ::testing::Test {
 protected:
  void write_file(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
  std::string file_text() const { return read_text_file(file).value_or("<missing>"); }

  test::TempFolder temp;
  std::filesystem::path file = temp / "kestreln.ini";
  ProfileStore profile{file};
  GroupStore groups{profile};
};

TEST_F(GroupStoreTest, MembersAreKeysZeroToNMinusOneInRowOrder) {
  ASSERT_EQ(groups.save("Lab A", {member("PC-03", "192.168.001.022", 1, 0, 500),
                                  member("PC-01", "192.168.001.020", 2, 1, 2047),
                                  member("PC-02", "192.168.001.021", 4, 3, 70000)}),
            GroupStore::SaveResult::saved);
  EXPECT_EQ(file_text(),
            "[Lab A]\n"
            "0=PC-03,192.168.001.022,1,0,500\n"
            "1=PC-01,192.168.001.020,2,1,2047\n"
            "2=PC-02,192.168.001.021,4,3,70000\n");
  const std::vector<GroupEntry> read = groups.read("Lab A");
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[1], (GroupEntry{"PC-01", "192.168.001.020", "2", "1", "2047"}));
}

TEST_F(GroupStoreTest, ReplacingWithFewerMembersLeavesNoOldKeysAndKeepsOtherGroups) {
  write_file("[Room 2]\n0=X,010.000.000.001,1,0,5\n[Lab A]\n0=a,010.000.000.002,1,0,1\n1=b,010.000.000.003,1,0,1\n"
             "2=c,010.000.000.004,1,0,1\n3=d,010.000.000.005,1,0,1\n");
  ASSERT_EQ(groups.save("Lab A", {member("e", "010.000.000.006")}), GroupStore::SaveResult::saved);
  EXPECT_EQ(file_text(), "[Room 2]\n0=X,010.000.000.001,1,0,5\n[Lab A]\n0=e,010.000.000.006,1,0,1023\n");
  EXPECT_EQ(groups.read("Lab A").size(), 1u);
  EXPECT_EQ(profile.read_value("Lab A", "1"), "");
}

TEST_F(GroupStoreTest, ReadingStopsAtTheFirstEmptyOrMissingKey) {
  write_file("[G]\n0=a,010.000.000.001,1,0,1\n1=b,010.000.000.002,1,0,1\n2=c,010.000.000.003,1,0,1\n3=\n"
             "4=e,010.000.000.005,1,0,1\n[H]\n0=a,010.000.000.001,1,0,1\n2=c,010.000.000.003,1,0,1\n");
  const std::vector<GroupEntry> g = groups.read("G");
  ASSERT_EQ(g.size(), 3u) << "an empty key 3 ends the group at member 2";
  EXPECT_EQ(g[2].name, "c");
  EXPECT_EQ(groups.read("H").size(), 1u);
  EXPECT_TRUE(groups.read("never saved").empty());
}

TEST(GroupEntryText, SplitsAtTheFirstFourCommasSoTheSizeKeepsTheRest) {
  EXPECT_EQ(parse_group_entry("PC-01,192.168.001.020,2,0,2047"),
            (GroupEntry{"PC-01", "192.168.001.020", "2", "0", "2047"}));
  EXPECT_EQ(parse_group_entry("PC-01,192.168.001.020,2,0,20,47,x"),
            (GroupEntry{"PC-01", "192.168.001.020", "2", "0", "20,47,x"}));
  // Entries that are not what the program writes still split at four commas.
  EXPECT_EQ(parse_group_entry("a,b,c,d,e,f"), (GroupEntry{"a", "b", "c", "d", "e,f"}));
  EXPECT_EQ(parse_group_entry("only,two"), (GroupEntry{"only", "two", "", "", ""}));
  EXPECT_EQ(parse_group_entry(""), GroupEntry{});
}

TEST(GroupEntryText, ANameWithCommasReadsBackAsTheSameFiveFields) {
  const ClientRowFields tricky = member("Room 3, desk 7,192.168.001.1,x", "010.000.000.009", 2, 1, 4095);
  const std::string entry = format_group_entry(tricky);
  // Written unchanged, as every reader of the file expects.
  EXPECT_EQ(entry, "Room 3, desk 7,192.168.001.1,x,010.000.000.009,2,1,4095");
  EXPECT_EQ(parse_group_entry(entry), (GroupEntry{"Room 3, desk 7,192.168.001.1,x", "010.000.000.009", "2", "1", "4095"}));
  // A name that itself reads as the start of an entry cannot be told apart: the
  // shortest name wins, which is the first-four-commas split.
  EXPECT_EQ(parse_group_entry("A,010.000.000.001,1,0,X,010.000.000.002,3,2,7"),
            (GroupEntry{"A", "010.000.000.001", "1", "0", "X,010.000.000.002,3,2,7"}));
  // A Client without a selected disk is written as the rows show it, and reads back so.
  EXPECT_EQ(parse_group_entry(format_group_entry(member("PC,1", "010.000.000.001", 1, -1, 0))),
            (GroupEntry{"PC,1", "010.000.000.001", "1", "-1", "0"}));
  // A line break cannot live in a line of the file.
  EXPECT_EQ(format_group_entry(member("two\nlines", "010.000.000.001")), "two?lines,010.000.000.001,1,0,1023");
}

TEST_F(GroupStoreTest, AFileWrittenByHandInTheExampleFormReads) {
  write_file("; groups of the lab\r\n"
             "[Lab A]\r\n"
             "0=PC-01,192.168.001.020,2,0,2047\r\n"
             "1 = PC-02,192.168.001.021,1,0,1023\r\n"
             "\r\n"
             "[Front desk, old]\r\n"
             "0=Desk,PC,010.000.000.005,1,0,99\r\n");
  EXPECT_EQ(groups.names(), (std::vector<std::string>{"Front desk, old", "Lab A"}));
  const std::vector<GroupEntry> lab = groups.read("Lab A");
  ASSERT_EQ(lab.size(), 2u);
  EXPECT_EQ(lab[0], (GroupEntry{"PC-01", "192.168.001.020", "2", "0", "2047"}));
  EXPECT_EQ(lab[1], (GroupEntry{"PC-02", "192.168.001.021", "1", "0", "1023"}));
  // A name with a comma, as an older program wrote it without any escaping.
  EXPECT_EQ(groups.read("Front desk, old")[0], (GroupEntry{"Desk,PC", "010.000.000.005", "1", "0", "99"}));
}

TEST_F(GroupStoreTest, NamesDifferingOnlyInLetterCaseAreOneGroup) {
  ASSERT_EQ(groups.save("Lab A", {member("a", "010.000.000.001"), member("b", "010.000.000.002")}),
            GroupStore::SaveResult::saved);
  EXPECT_EQ(groups.find("lab a"), "Lab A");
  EXPECT_EQ(groups.find(" LAB A "), "Lab A");
  EXPECT_EQ(groups.find("Lab B"), std::nullopt);
  EXPECT_EQ(groups.read("LAB A").size(), 2u);
  // Saving under another spelling replaces the group, which takes the new spelling.
  ASSERT_EQ(groups.save("lab a", {member("c", "010.000.000.003")}), GroupStore::SaveResult::saved);
  EXPECT_EQ(file_text(), "[lab a]\n0=c,010.000.000.003,1,0,1023\n");
  // A file edited by hand may hold both spellings: the group is listed once and
  // removed whole.
  write_file("[Lab A]\n0=a,010.000.000.001,1,0,1\n[zeta]\n0=z,010.000.000.009,1,0,1\n[LAB A]\n0=b,010.000.000.002,1,0,1\n");
  EXPECT_EQ(groups.names(), (std::vector<std::string>{"Lab A", "zeta"}));
  EXPECT_EQ(groups.read("lab a")[0].name, "a") << "the first section of the name is the group";
  EXPECT_TRUE(groups.remove("lab A"));
  EXPECT_EQ(file_text(), "[zeta]\n0=z,010.000.000.009,1,0,1\n");
}

TEST_F(GroupStoreTest, NamesAreListedAsAListBoxSortsThem) {
  write_file("[beta]\n[Alpha]\n[alpha 2]\n[Zulu]\n[10 left]\n[Beta room]\n");
  EXPECT_EQ(groups.names(), (std::vector<std::string>{"10 left", "Alpha", "alpha 2", "beta", "Beta room", "Zulu"}));
}

TEST_F(GroupStoreTest, NamesTheFileCannotHoldAreRefusedAndNothingIsWritten) {
  write_file("[G]\n0=a,010.000.000.001,1,0,1\n");
  for (const char* bad : {"", "   ", "Lab]A", "two\nlines"}) {
    EXPECT_FALSE(GroupStore::valid_name(bad)) << bad;
    EXPECT_EQ(groups.save(bad, {member("x", "010.000.000.002")}), GroupStore::SaveResult::bad_name) << bad;
  }
  EXPECT_TRUE(GroupStore::valid_name("[Lab; A#1"));
  EXPECT_EQ(file_text(), "[G]\n0=a,010.000.000.001,1,0,1\n");
}

TEST_F(GroupStoreTest, ANameLongerThanTheFileReadsBackIsRefusedAtEntry) {
  const std::string longest(ProfileStore::kMaxTextBytes, 'L');
  EXPECT_FALSE(GroupStore::valid_name(longest + "L"));
  EXPECT_EQ(groups.save(longest + "L", {member("x", "010.000.000.002")}), GroupStore::SaveResult::bad_name);
  EXPECT_TRUE(GroupStore::valid_name("  " + longest + "  ")) << "the blanks around it are not kept";
  ASSERT_EQ(groups.save(longest, {member("x", "010.000.000.002")}), GroupStore::SaveResult::saved);
  EXPECT_EQ(groups.names(), std::vector<std::string>{longest}) << "listed whole";
  EXPECT_EQ(groups.read(longest).size(), 1u);
  ASSERT_TRUE(groups.remove(longest));
  EXPECT_TRUE(groups.names().empty()) << "and deleted by that name";
}

TEST_F(GroupStoreTest, AFailedWriteKeepsTheGroupBeingReplaced) {
  const std::string before = "[Lab A]\n0=a,010.000.000.001,1,0,1\n1=b,010.000.000.002,1,0,1\n";
  write_file(before);
  std::vector<ClientRowFields> many;
  for (int i = 0; i < 40; ++i) many.push_back(member("PC-" + std::to_string(i), "010.000.001.001"));
  // A file size limit stands in for a full disk, for root as for anyone.
  struct rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 256;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const GroupStore::SaveResult result = groups.save("Lab A", many);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(result, GroupStore::SaveResult::write_failed);
  EXPECT_EQ(file_text(), before);
}

}  // namespace
}  // namespace kestrelon
