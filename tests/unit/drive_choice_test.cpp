// The drive and partition dialog's rules without its window: the lists it opens
// with, what a click and the keyboard do, what OK takes, and the expiry hold.
#include "model/drive_choice.h"

#include <gtest/gtest.h>

#include "model/main_client_list.h"
#include "net/program_locks.h"
#include "support/datagrams.h"
#include "support/recording_ui.h"

namespace kestrelon {
namespace {

PartitionEntry partition(std::uint8_t number, std::uint8_t type, std::uint8_t logical, std::uint32_t sectors,
                         std::uint8_t boot = 0) {
  PartitionEntry p;
  p.number = number;
  p.type = type;
  p.logical = logical;
  p.size_sectors = sectors;
  p.boot = boot;
  return p;
}

class DriveChoiceTest : public ::testing::Test {
 protected:
  DriveChoiceTest() {
    client.set_name("PC-01");
    client.disk_count = 2;
    client.disks[0] = test::make_disk(1 << 21, 1);
    client.disks[0].bios_number = 0x80;
    client.disks[0].partitions[0] = partition(1, 0x07, 0, 1 << 21, 0x80);
    DiskEntry& second = client.disks[1];
    second.bios_number = 0x81;
    second.size_sectors = 4194304;
    second.partition_count = 3;
    second.partitions[0] = partition(1, 0x83, 0, 1 << 20);
    second.partitions[1] = partition(5, 0x05, 1, 4194304);
    second.partitions[2] = partition(0x0C, 0x00, 1, 3 << 11);
  }

  std::vector<std::string> row(const CheckListModel& list, int r) const {
    std::vector<std::string> cells;
    for (int c = 0; c < static_cast<int>(list.columns().size()); ++c) cells.push_back(list.cell(r, c));
    return cells;
  }
  // What the list does on a mouse click: toggle, highlight, then tell the dialog.
  void click(DriveChoice& choice, int r) {
    choice.drives().click_toggle(r);
    choice.drives().select_row(r);
    choice.drive_clicked();
  }

  test::RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard notices{ui};
  ReceiveDispatcher dispatcher{locks.receive, notices};
  EndpointTable endpoints{dispatcher, ui};
  ManualClock clock{1000};
  ClientTables tables;
  MainClientList list{tables, locks.client_table};
  ClientRegistry registry{tables, locks.client_table, endpoints, clock, list};
  ClientRecord client;
};

TEST_F(DriveChoiceTest, OpensOnTheSelectedDiskAndFollowsClicksButNotTheKeyboard) {
  client.selected_disk = 1;
  DriveChoice choice(client, registry);
  choice.start();
  CheckListModel& drives = choice.drives();
  const CheckListModel& partitions = choice.partitions();
  std::vector<std::pair<std::string, int>> columns;
  for (const CheckListModel* list : {static_cast<const CheckListModel*>(&drives), &partitions})
    for (const auto& c : list->columns()) columns.emplace_back(c.header, c.extra_width());
  EXPECT_EQ(columns, (std::vector<std::pair<std::string, int>>{
                         {"Drive No:", 90}, {"Size", 45}, {"Partition", 90}, {"System", 45}, {"Boot", 45},
                         {"Type", 45}, {"Size", 45}}));
  EXPECT_TRUE(drives.check_images() && drives.single_check());
  EXPECT_FALSE(partitions.check_images());
  EXPECT_EQ(drives.check_state(1), kChecked);
  EXPECT_EQ(drives.selected_row(), 1);
  EXPECT_EQ(drives.focused_row(), 1);
  EXPECT_EQ(row(partitions, 2), (std::vector<std::string>{"c", "Unknown", "No", "Extended", "3"}));

  click(choice, 0);
  EXPECT_EQ(drives.last_checked(), 0);
  EXPECT_EQ(drives.check_state(1), kUnchecked);
  EXPECT_EQ(row(partitions, 0), (std::vector<std::string>{"1", "NTFS", "Yes", "Primary", "1024"}));

  drives.select_row(1);  // the keyboard
  EXPECT_EQ(partitions.row_count(), 1) << "the partitions follow clicks only";
  EXPECT_EQ(choice.result(), 0);

  click(choice, 0);  // the checked row: no drive is left checked
  EXPECT_EQ(partitions.row_count(), 1);
  EXPECT_EQ(choice.result(), -1);
  EXPECT_EQ(choice.refusal(), std::string(DriveChoice::kNoDriveCheckedText)) << "OK with no drive is refused";
}

TEST_F(DriveChoiceTest, AClientWithoutDisksListsNothingAndCannotBeConfirmed) {
  client.disk_count = 0;
  DriveChoice choice(client, registry);
  choice.start();
  EXPECT_EQ(choice.drives().row_count(), 0);
  EXPECT_EQ(choice.partitions().row_count(), 0);
  EXPECT_TRUE(choice.refusal());
}

TEST_F(DriveChoiceTest, NoClientExpiresWhileTheDialogExists) {
  registry.on_announce(*wire::decode_announce(test::announce_datagram({Ipv4Address(10, 0, 0, 1), "held", {}})), 0, Ipv4Address(10, 0, 0, 1));
  registry.age_and_refresh();
  ASSERT_EQ(list.row_count(), 1);
  {
    DriveChoice choice(tables.clients[0], registry);
    clock.advance(60000);
    registry.age_and_refresh();
    EXPECT_EQ(list.row_count(), 1);
  }
  registry.age_and_refresh();
  EXPECT_EQ(list.row_count(), 0);
}

}  // namespace
}  // namespace kestrelon
