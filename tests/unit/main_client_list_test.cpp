// The target table rebuilt from the check marks of the main client list.
#include "model/main_client_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "model/client_row_text.h"
#include "net/client_registry.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

class MainClientListTest : public ::testing::Test {
 protected:
  Semaphore lock{1, 1};
  ClientTables tables;
  MainClientList list{tables, lock};
  CheckListModel& rows = list.rows();
};

TEST_F(MainClientListTest, RebuildTakesTheCheckedRowsTexts) {
  rows.append_client_row({"PC-01", "192.168.001.020", 3, 1, 1023}, true);
  rows.append_client_row({"PC-02", "192.168.001.021", 1, 0, 50}, false);
  rows.append_client_row({"PC-03", "192.168.001.022", 2, 0, 2047}, true);
  list.rebuild_target_table(true);
  ASSERT_EQ(tables.target_count, 2);
  const ClientRecord& t = tables.targets[0];
  EXPECT_EQ(t.name_text(), "PC-01");
  EXPECT_EQ(t.address, Ipv4Address(192, 168, 1, 20));
  EXPECT_EQ(t.disk_count, 3);
  EXPECT_EQ(t.selected_disk, 1);
  EXPECT_EQ(t.disks[1].size_sectors, 1023u * 2048u);
  EXPECT_EQ(t.selected_disk_sectors(), 1023u * 2048u);
  EXPECT_EQ(tables.targets[1].name_text(), "PC-03");
  EXPECT_EQ(tables.targets[1].disks[0].size_sectors, 2047u * 2048u);
  EXPECT_EQ(lock.count(), 1);
}

TEST_F(MainClientListTest, RebuildKeepsOtherFieldsAndCutsLongNames) {
  tables.targets[0].done = 1;
  tables.targets[0].rank = 3;
  tables.targets[0].interface_index = 7;
  tables.targets[0].disks[0].size_sectors = 555;
  const std::string long_name(50, 'n');
  rows.append_client_row({long_name, "010.000.000.001", 2, 1, 10}, true);
  list.rebuild_target_table(false);
  ASSERT_EQ(tables.target_count, 1);
  EXPECT_EQ(tables.targets[0].name_text(), std::string(40, 'n'));
  EXPECT_EQ(tables.targets[0].done, 1);
  EXPECT_EQ(tables.targets[0].rank, 3);
  EXPECT_EQ(tables.targets[0].interface_index, 7);
  EXPECT_EQ(tables.targets[0].disks[0].size_sectors, 555u);
}

TEST_F(MainClientListTest, RowsThatCannotNameATargetAreLeftOut) {
  rows.set_cell(0, 0, "odd");  // no address, no target text
  rows.check(0);
  rows.append_client_row({"good", "010.000.000.002", 1, 0, 10}, true);
  rows.set_cell(2, 0, "bad disk");
  rows.set_cell(2, 1, "010.000.000.003");
  rows.set_cell(2, 3, "Disk 9 (10Mb)");
  rows.check(2);
  list.rebuild_target_table(false);
  ASSERT_EQ(tables.target_count, 2);
  EXPECT_EQ(tables.targets[0].name_text(), "good");
  // Disk index 8 is beyond the four disk entries: recorded, but no size written.
  EXPECT_EQ(tables.targets[1].selected_disk, 8);
  EXPECT_EQ(tables.targets[1].selected_disk_sectors(), 0u);
}

TEST_F(MainClientListTest, RebuildWithLockWaitsForTheHolder) {
  rows.append_client_row({"PC", "010.000.000.001", 1, 0, 10}, true);
  lock.acquire();
  std::atomic<bool> done{false};
  std::thread t([&] {
    list.rebuild_target_table(true);
    done = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(done.load());
  EXPECT_EQ(tables.target_count, 0);
  lock.release();
  t.join();
  EXPECT_TRUE(done.load());
  EXPECT_EQ(tables.target_count, 1);
}

TEST_F(MainClientListTest, UpdateRowsFromTheClientTableAfterADriveChoice) {
  ClientRecord& c = tables.clients[0];
  c.set_name("PC");
  c.address = Ipv4Address(10, 0, 0, 1);
  c.disk_count = 2;
  c.disks[0].size_sectors = 4096;
  c.disks[1].size_sectors = 3 << 20;
  tables.client_count = 1;
  list.insert_client_row_sorted(client_row_fields(c));
  list.check_row(0);
  EXPECT_EQ(rows.cell(0, 3), "Disk 1 (2Mb)");
  c.selected_disk = 1;
  list.update_rows_from_client_table();
  EXPECT_EQ(rows.cell(0, 3), "Disk 2 (1536Mb)");
  EXPECT_EQ(rows.check_state(0), kChecked);
}

TEST(ClientRowFieldsTest, ClientWithoutDisksShowsSizeZero) {
  ClientRecord r;
  r.set_name("empty");
  r.address = Ipv4Address(10, 0, 0, 9);
  r.disks[0].size_sectors = 999999;  // left behind by another Client
  const ClientRowFields f = client_row_fields(r);
  EXPECT_EQ(f.disk_count, 0);
  EXPECT_EQ(f.size_mb, 0);
  EXPECT_EQ(disk_marks(f.disk_count), "");
  EXPECT_EQ(target_text(f.disk_index, f.size_mb), "Disk 1 (0Mb)");
}

}  // namespace
}  // namespace kestrelon
