// The rows of a check list: Client row texts, sorted insertion, check marks,
// selection and change notifications.
#include "model/check_list_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "model/client_row_text.h"

namespace kestrelon {
namespace {

ClientRowFields client(const std::string& name, const std::string& address = "192.168.001.010", int disks = 1,
                       int index = 0, std::int64_t size = 1023) {
  return ClientRowFields{name, address, disks, index, size};
}

std::vector<std::string> names(const CheckListModel& m) {
  std::vector<std::string> v;
  for (int r = 0; r < m.row_count(); ++r) v.push_back(m.cell(r, 0));
  return v;
}

std::vector<int> states(const CheckListModel& m) {
  std::vector<int> v;
  for (int r = 0; r < m.row_count(); ++r) v.push_back(m.check_state(r));
  return v;
}

TEST(ClientRowText, DiskMarksAreUtf8MultiplicationSignsCountedAsCharacters) {
  const std::string three = disk_marks(3);
  EXPECT_EQ(three, "\xC3\x97\xC3\x97\xC3\x97");
  EXPECT_EQ(three.size(), 6u);
  EXPECT_EQ(character_count(three), 3);
  EXPECT_EQ(disk_marks(0), "");
  EXPECT_EQ(disk_marks(-2), "");
  // A lone byte 0xD7, as an old single-byte text would hold it, is one mark too.
  EXPECT_EQ(character_count("\xD7\xD7"), 2);
}

TEST(ClientRowText, TargetTextAndItsParts) {
  EXPECT_EQ(target_text(0, 2047), "Disk 1 (2047Mb)");
  EXPECT_EQ(target_text(1, 1023), "Disk 2 (1023Mb)");
  EXPECT_EQ(disk_index_from_target("Disk 2 (1023Mb)"), 1);
  EXPECT_EQ(size_from_target("Disk 2 (1023Mb)"), 1023);
  EXPECT_EQ(size_from_target("Disk 1 (0Mb)"), 0);
  EXPECT_EQ(disk_index_from_target("Disk"), -1);
  EXPECT_EQ(disk_index_from_target("Disk x (5Mb)"), -1);
  EXPECT_EQ(size_from_target("no size"), 0);
}

TEST(ClientRowText, PaddedAddressIsReadOnlyInItsExactForm) {
  EXPECT_EQ(address_from_padded_text("192.168.001.020"), Ipv4Address(192, 168, 1, 20));
  EXPECT_EQ(address_from_padded_text("010.000.000.005"), Ipv4Address(10, 0, 0, 5));
  EXPECT_FALSE(address_from_padded_text("192.168.1.20"));
  EXPECT_FALSE(address_from_padded_text("192.168.001.256"));
  EXPECT_FALSE(address_from_padded_text("192x168.001.020"));
  EXPECT_FALSE(address_from_padded_text(""));
}

TEST(ClientRowText, RowString) {
  EXPECT_EQ(row_string(client("PC1", "010.000.000.001", 2, 1, 500), true),
            "PC1|<1>|010.000.000.001|<2>|2|<3>|1|<4>|500|<5>|Check");
  EXPECT_EQ(row_string(client("PC1", "010.000.000.001", 2, 1, 500), false),
            "PC1|<1>|010.000.000.001|<2>|2|<3>|1|<4>|500|<5>|Uncheck");
}

TEST(CheckListModel, ClientColumns) {
  CheckListModel m;
  m.insert_client_columns();
  ASSERT_EQ(m.columns().size(), 4u);
  EXPECT_EQ(m.columns()[0].header, "Name");
  EXPECT_EQ(m.columns()[0].extra_width(), 90);
  EXPECT_EQ(m.columns()[1].header, "IP Address");
  EXPECT_EQ(m.columns()[1].extra_width(), 45);
  EXPECT_EQ(m.columns()[2].header, "Disk(s)");
  EXPECT_EQ(m.columns()[2].extra_width(), 45);
  EXPECT_EQ(m.columns()[3].header, "Target");
  EXPECT_EQ(m.columns()[3].extra_width(), 75);
  m.insert_column("Extra", 1, 0);
  EXPECT_EQ(m.columns()[1].extra_width(), 45);  // 0 units count as 3
  EXPECT_EQ(m.columns()[2].header, "IP Address");
}

TEST(CheckListModel, SortedInsertionOrdersByRowStringBytes) {
  std::array<std::string, 4> order{"PC1", "pc2", "PC10", "Alpha"};
  std::sort(order.begin(), order.end());
  do {
    CheckListModel m;
    for (const auto& n : order) m.insert_client_row_sorted(client(n));
    EXPECT_EQ(names(m), (std::vector<std::string>{"Alpha", "PC10", "PC1", "pc2"}));
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(CheckListModel, SortedInsertionWritesTheClientCells) {
  CheckListModel m;
  m.insert_client_row_sorted(client("PC1", "192.168.001.020", 3, 1, 1023));
  ASSERT_EQ(m.row_count(), 1);
  EXPECT_EQ(m.cell(0, 0), "PC1");
  EXPECT_EQ(m.cell(0, 1), "192.168.001.020");
  EXPECT_EQ(m.cell(0, 2), disk_marks(3));
  EXPECT_EQ(m.cell(0, 3), "Disk 2 (1023Mb)");
  EXPECT_EQ(m.check_state(0), kUnchecked);
}

TEST(CheckListModel, CheckMarksSurviveSortedInsertionAndNewRowIsUnchecked) {
  CheckListModel m;
  m.insert_client_row_sorted(client("B", "010.000.000.002"));
  m.insert_client_row_sorted(client("D", "010.000.000.004"));
  m.insert_client_row_sorted(client("F", "010.000.000.006"));
  m.check(0);
  m.check(2);
  m.insert_client_row_sorted(client("A", "010.000.000.001"));
  m.insert_client_row_sorted(client("E", "010.000.000.005"));
  EXPECT_EQ(names(m), (std::vector<std::string>{"A", "B", "D", "E", "F"}));
  EXPECT_EQ(states(m), (std::vector<int>{1, 2, 1, 1, 2}));
}

TEST(CheckListModel, NameHoldingARowSeparatorKeepsItsFields) {
  CheckListModel m;
  m.insert_client_row_sorted(client("x|<1>|y|<3>|9", "010.000.000.007", 2, 1, 77));
  m.insert_client_row_sorted(client("A", "010.000.000.001"));
  ASSERT_EQ(m.row_count(), 2);
  EXPECT_EQ(m.cell(1, 0), "x|<1>|y|<3>|9");
  EXPECT_EQ(m.cell(1, 1), "010.000.000.007");
  EXPECT_EQ(m.cell(1, 2), disk_marks(2));
  EXPECT_EQ(m.cell(1, 3), "Disk 2 (77Mb)");
}

TEST(CheckListModel, SetCellOnColumnZeroInsertsAnUncheckedRow) {
  CheckListModel m;
  m.set_cell(0, 0, "first");
  m.set_cell(0, 0, "before");
  m.set_cell(7, 0, "end");  // beyond the end: appended
  m.set_cell(1, 2, "third column");
  m.set_cell(9, 1, "no such row");
  EXPECT_EQ(names(m), (std::vector<std::string>{"before", "first", "end"}));
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(m.cell(1, 2), "third column");
  EXPECT_EQ(m.cell(1, 1), "");
  EXPECT_EQ(m.cell(5, 0), "");
  EXPECT_EQ(m.cell(0, -1), "");
}

TEST(CheckListModel, UpdateClientRowsChangesOnlyMarksAndTargetOfThatAddress) {
  CheckListModel m;
  m.insert_client_row_sorted(client("A", "010.000.000.001", 2, 0, 100));
  m.insert_client_row_sorted(client("B", "010.000.000.002", 2, 0, 200));
  m.check(1);
  m.update_client_rows(client("ignored", "010.000.000.002", 3, 2, 999));
  EXPECT_EQ(names(m), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(m.cell(1, 2), disk_marks(3));
  EXPECT_EQ(m.cell(1, 3), "Disk 3 (999Mb)");
  EXPECT_EQ(m.cell(0, 3), "Disk 1 (100Mb)");
  EXPECT_EQ(states(m), (std::vector<int>{1, 2}));
}

TEST(CheckListModel, AppendClientRowWithCheck) {
  CheckListModel m;
  m.append_client_row(client("Z"));
  m.append_client_row(client("A"), true);
  EXPECT_EQ(names(m), (std::vector<std::string>{"Z", "A"}));
  EXPECT_EQ(states(m), (std::vector<int>{1, 2}));
}

class CheckMarks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* n : {"a", "b", "c", "d"}) m.append_client_row(client(n));
  }
  CheckListModel m;
};

TEST_F(CheckMarks, ToggleFromAGivenState) {
  m.toggle(0);
  EXPECT_EQ(m.check_state(0), kChecked);
  m.toggle(0);
  EXPECT_EQ(m.check_state(0), kUnchecked);
  m.toggle(1, kUnchecked);
  EXPECT_EQ(m.check_state(1), kChecked);
  m.toggle(1, kUnchecked);  // from the remembered state, not the current one
  EXPECT_EQ(m.check_state(1), kChecked);
  m.toggle(1, kNoCheckPicture);
  m.toggle(1, 3);
  EXPECT_EQ(m.check_state(1), kChecked);
  m.toggle(-1);
  m.toggle(99);
  EXPECT_EQ(states(m), (std::vector<int>{1, 2, 1, 1}));
}

TEST_F(CheckMarks, CheckAllUncheckAllLastCheckedExactlyOne) {
  int count = -1;
  EXPECT_EQ(m.last_checked(&count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(m.exactly_one_checked());
  m.check(1);
  EXPECT_TRUE(m.exactly_one_checked());
  m.check(2);
  EXPECT_FALSE(m.exactly_one_checked());
  EXPECT_EQ(m.last_checked(&count), 2);
  EXPECT_EQ(count, 2);
  m.check_all();
  EXPECT_EQ(states(m), (std::vector<int>{2, 2, 2, 2}));
  m.uncheck(3);
  EXPECT_EQ(m.last_checked(), 2);
  m.uncheck_all();
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(CheckMarks, ClickTogglesAndAClickOutsideDoesNothing) {
  m.click_toggle(2);
  m.click_toggle(0);
  EXPECT_EQ(states(m), (std::vector<int>{2, 1, 2, 1}));
  m.click_toggle(-1);
  EXPECT_EQ(states(m), (std::vector<int>{2, 1, 2, 1}));
  // A double click is two clicks: the mark ends where it was.
  m.click_toggle(1);
  m.click_toggle(1);
  EXPECT_EQ(m.check_state(1), kUnchecked);
}

TEST_F(CheckMarks, SingleCheckMode) {
  m.set_single_check(true);
  m.click_toggle(1);
  EXPECT_EQ(states(m), (std::vector<int>{1, 2, 1, 1}));
  m.click_toggle(3);  // moves the check
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1, 2}));
  m.click_toggle(3);  // on the checked row: none left
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1, 1}));
  m.click_toggle(0);
  m.click_toggle(-1);  // outside all rows: unchecks every row
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1, 1}));
  m.click_toggle(2);  // double click on an unchecked row ends with none checked
  m.click_toggle(2);
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 1, 1}));
  m.check(0);
  m.check_all();  // nothing in single-check mode
  EXPECT_EQ(states(m), (std::vector<int>{2, 1, 1, 1}));
  m.check(2);
  EXPECT_EQ(states(m), (std::vector<int>{1, 1, 2, 1}));
  m.uncheck_all();
  EXPECT_EQ(m.last_checked(), -1);
}

TEST_F(CheckMarks, SingleCheckModeKeepsOneMarkThroughSortedInsertion) {
  m.check(0);
  m.check(3);
  m.set_single_check(true);
  m.insert_client_row_sorted(client("c2"));
  int count = 0;
  m.last_checked(&count);
  EXPECT_EQ(count, 1);
}

TEST(CheckListModelSelection, SingleAndMultipleSelection) {
  CheckListModel m;
  for (const char* n : {"a", "b", "c"}) m.append_client_row(client(n));
  m.select_row(1);
  m.select_row(2);
  EXPECT_EQ(m.selected_row(), -1);  // a multiple-selection list does not say
  EXPECT_TRUE(m.is_selected(1));
  EXPECT_TRUE(m.is_selected(2));
  EXPECT_EQ(m.focused_row(), 2);

  CheckListModel s;
  s.set_single_selection(true);
  for (const char* n : {"a", "b", "c"}) s.append_client_row(client(n));
  EXPECT_EQ(s.selected_row(), -1);
  s.select_row(2);
  s.select_row(1);
  s.select_row(9);
  EXPECT_EQ(s.selected_row(), 1);
  EXPECT_FALSE(s.is_selected(2));
  EXPECT_EQ(s.focused_row(), 1);
}

TEST(CheckListModelSelection, ClearAndDeleteAllRowsEmptyTheList) {
  CheckListModel m;
  for (const char* n : {"a", "b", "c"}) m.append_client_row(client(n));
  m.delete_row(1);
  m.delete_row(5);
  EXPECT_EQ(names(m), (std::vector<std::string>{"a", "c"}));
  m.delete_all_rows();
  EXPECT_EQ(m.row_count(), 0);
  m.append_client_row(client("x"));
  m.clear();
  EXPECT_EQ(m.row_count(), 0);
}

TEST(CheckListModelChanges, ViewsHearOfEveryChangeAndBulkChangesOnce) {
  CheckListModel m;
  std::vector<ListChange> seen;
  m.set_change_handler([&](const ListChange& c) { seen.push_back(c); });
  m.append_client_row(client("b"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, ListChange::Kind::inserted);
  EXPECT_EQ(seen[0].row, 0);

  seen.clear();
  m.insert_client_row_sorted(client("a"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, ListChange::Kind::reset);

  seen.clear();
  m.click_toggle(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, ListChange::Kind::updated);
  EXPECT_EQ(seen[0].row, 1);

  seen.clear();
  m.check(1);  // already checked: nothing to redraw
  EXPECT_TRUE(seen.empty());
  m.delete_row(0);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, ListChange::Kind::deleted);
}

}  // namespace
}  // namespace kestrelon
