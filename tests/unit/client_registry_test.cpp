// The client table, expiry and the mirror in the main client list, driven by a
// clock that only moves when the test says so.
#include "net/client_registry.h"

#include <gtest/gtest.h>

#include <future>

#include "model/client_row_text.h"
#include "model/main_client_list.h"
#include "net/program_locks.h"
#include "support/datagrams.h"
#include "support/recording_ui.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

wire::Announce announce(Ipv4Address address, const std::string& name, std::vector<DiskEntry> disks = {}) {
  test::AnnounceSpec a;
  a.address = address;
  a.name = name;
  a.disks = std::move(disks);
  const auto bytes = test::announce_datagram(a);
  return *wire::decode_announce(bytes);
}

Ipv4Address pc(int n) { return Ipv4Address(10, 0, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)); }

class RegistryTest : public ::testing::Test {
 protected:
  void hear(int n, const std::string& name, std::vector<DiskEntry> disks = {}, int endpoint = 0) {
    registry.on_announce(announce(pc(n), name, std::move(disks)), endpoint, pc(n));
  }
  std::vector<std::string> listed() const {
    std::vector<std::string> v;
    for (int r = 0; r < rows.row_count(); ++r) v.push_back(rows.cell(r, 0));
    return v;
  }
  int row_of(int n) const {
    for (int r = 0; r < rows.row_count(); ++r) {
      if (rows.cell(r, 1) == pc(n).padded_text()) return r;
    }
    return -1;
  }
  const ClientRecord& record(int i) const { return tables.clients[static_cast<std::size_t>(i)]; }

  test::RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard notices{ui};
  ReceiveDispatcher dispatcher{locks.receive, notices};
  EndpointTable endpoints{dispatcher, ui};  // never started: no sockets
  ManualClock clock{1000};
  ClientTables tables;
  MainClientList list{tables, locks.client_table};
  const CheckListModel& rows = list.rows();
  ClientRegistry registry{tables, locks.client_table, endpoints, clock, list};
};

TEST_F(RegistryTest, FirstAnnounceFillsARecordAndTheIdlePassListsIt) {
  hear(1, "PC-01", {test::make_disk(4 << 20, 2), test::make_disk(1 << 20, 1)}, 3);
  ASSERT_EQ(tables.client_count, 1);
  EXPECT_EQ(record(0).name_text(), "PC-01");
  EXPECT_EQ(record(0).disk_count, 2);
  EXPECT_EQ(record(0).disks[0].partition_count, 2);
  EXPECT_EQ(record(0).interface_index, 3);
  EXPECT_EQ(record(0).expiry, 1000u + 5000u);
  EXPECT_EQ(rows.row_count(), 0);  // rows appear at the idle pass

  registry.age_and_refresh();
  ASSERT_EQ(rows.row_count(), 1);
  EXPECT_EQ(rows.cell(0, 0), "PC-01");
  EXPECT_EQ(rows.cell(0, 1), "010.000.000.001");
  EXPECT_EQ(character_count(rows.cell(0, 2)), 2);
  EXPECT_EQ(rows.cell(0, 3), "Disk 1 (2048Mb)");
  EXPECT_EQ(rows.check_state(0), kUnchecked);
}

TEST_F(RegistryTest, ClientWithoutDisksIsListedWithNoMarksAndSizeZero) {
  hear(1, "big", {test::make_disk(8 << 20, 1)});
  registry.age_and_refresh();
  clock.advance(5000);
  registry.age_and_refresh();
  ASSERT_EQ(tables.client_count, 0);
  hear(2, "bare");  // takes the slot the first Client left
  registry.age_and_refresh();
  ASSERT_EQ(rows.row_count(), 1);
  EXPECT_EQ(rows.cell(0, 2), "");
  EXPECT_EQ(rows.cell(0, 3), "Disk 1 (0Mb)");
  EXPECT_EQ(record(0).disks[0].size_sectors, 0u);
}

TEST_F(RegistryTest, ClientAnnouncingEveryFourSecondsStaysListed) {
  for (int i = 0; i < 30; ++i) {
    hear(1, "steady");
    registry.age_and_refresh();
    clock.advance(4000);
    registry.age_and_refresh();
    ASSERT_EQ(rows.row_count(), 1) << "after " << (i + 1) * 4 << " s";
  }
}

TEST_F(RegistryTest, SilentClientGoesAtTheFirstIdlePassAfterFiveSeconds) {
  hear(1, "quiet");
  hear(2, "talker");
  registry.age_and_refresh();
  clock.advance(4000);
  hear(2, "talker");
  clock.advance(999);
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"quiet", "talker"}));
  clock.advance(1);  // 5000 ms after the last announce: reached
  EXPECT_EQ(rows.row_count(), 2);  // nothing happens between idle passes
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"talker"}));
  EXPECT_EQ(tables.client_count, 1);
}

TEST_F(RegistryTest, ExpiredRecordZeroIsReplacedByTheLastRecord) {
  hear(1, "one");
  clock.advance(100);
  hear(2, "two");
  hear(3, "three");
  registry.age_and_refresh();
  ASSERT_EQ(rows.row_count(), 3);
  clock.advance(4900);  // record 0 reached its expiry, the others not yet
  registry.age_and_refresh();
  ASSERT_EQ(tables.client_count, 2);
  EXPECT_EQ(record(0).name_text(), "three");
  EXPECT_EQ(record(1).name_text(), "two");
  EXPECT_EQ(listed(), (std::vector<std::string>{"three", "two"}));
}

TEST_F(RegistryTest, LaterAnnouncesOnlyMoveTheExpiry) {
  hear(1, "first", {test::make_disk(2 << 20, 1)}, 0);
  registry.age_and_refresh();
  const ClientRecord before = record(0);
  clock.advance(3000);
  hear(1, "renamed", {test::make_disk(9 << 20, 3), test::make_disk(1 << 20, 1)}, 5);
  ASSERT_EQ(tables.client_count, 1);
  EXPECT_EQ(record(0).name_text(), "first");
  EXPECT_EQ(record(0).disk_count, 1);
  EXPECT_EQ(record(0).disks, before.disks);
  EXPECT_EQ(record(0).interface_index, 0);
  EXPECT_EQ(record(0).expiry, before.expiry + 3000);
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"first"}));
}

TEST_F(RegistryTest, FullTableDropsNewClientsWhileKnownOnesRefresh) {
  for (int n = 1; n <= kMaxClients; ++n) hear(n, "pc" + std::to_string(n));
  ASSERT_EQ(tables.client_count, kMaxClients);
  hear(kMaxClients + 1, "one too many");
  EXPECT_EQ(tables.client_count, kMaxClients);
  EXPECT_EQ(tables.find_client(pc(kMaxClients + 1)), -1);

  clock.advance(4000);
  hear(7, "pc7");
  clock.advance(1000);
  registry.age_and_refresh();
  // Every Client but the one that announced again has expired.
  EXPECT_EQ(tables.client_count, 1);
  EXPECT_EQ(record(0).name_text(), "pc7");
  EXPECT_EQ(listed(), (std::vector<std::string>{"pc7"}));
}

TEST_F(RegistryTest, FullTableIsListedWhole) {
  for (int n = 1; n <= kMaxClients; ++n) hear(n, "pc" + std::to_string(n));
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), kMaxClients);
  // Byte order of the row string: a name followed by "|" sorts after its longer
  // relatives.
  EXPECT_EQ(rows.cell(0, 0), "pc100");
  EXPECT_EQ(rows.cell(9, 0), "pc109");
  EXPECT_EQ(rows.cell(10, 0), "pc10");
  EXPECT_EQ(rows.cell(kMaxClients - 1, 0), "pc9");
}

TEST_F(RegistryTest, NoClientExpiresWhileTheTransferOrDriveDialogIsOpen) {
  hear(1, "held");
  registry.age_and_refresh();
  registry.set_transfer_dialog_open(true);
  clock.advance(60000);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1);
  registry.set_transfer_dialog_open(false);
  registry.set_drive_dialog_open(true);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1);
  registry.set_drive_dialog_open(false);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 0);
}

TEST_F(RegistryTest, ClientsHeldOffByAModalLockHoldGetAFullLifetimeAfterIt) {
  hear(1, "held");
  registry.age_and_refresh();
  {
    ClientRegistry::ModalLockHold hold(registry);
    registry.set_drive_dialog_open(true);
    clock.advance(8000);  // the Client's announces wait for the lock meanwhile
    registry.set_drive_dialog_open(false);
  }
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1) << "its waiting announces are read before it expires";
  clock.advance(ClientRegistry::kAnnounceLifetimeMs);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 0) << "a Client that is really gone still expires";
}

TEST_F(RegistryTest, ExpiredButKeptRecordsAreNotListedWhileDialogIsOpen) {
  hear(1, "late");
  registry.set_transfer_dialog_open(true);
  clock.advance(6000);
  registry.age_and_refresh();
  EXPECT_EQ(tables.client_count, 1);
  EXPECT_EQ(rows.row_count(), 0);
  hear(1, "late");  // announces still refresh while the dialog is open
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1);
}

TEST_F(RegistryTest, IdlePassWhileTheUiThreadHoldsTheLockForAModalRunDoesNotWait) {
  hear(1, "pc");
  {
    ClientRegistry::ModalLockHold hold(registry);
    auto pass = std::async(std::launch::async, [&] {
      // Same effect as the modal loop's idle pass on the holding thread: the
      // hold count is what the pass looks at.
      registry.age_and_refresh();
    });
    ASSERT_EQ(pass.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(rows.row_count(), 0);
  }
  EXPECT_EQ(locks.client_table.count(), 1);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1);
}

TEST_F(RegistryTest, CheckMarksComeBackForATargetThatExpiredAndReturned) {
  hear(1, "alpha");
  hear(2, "beta");
  hear(3, "gamma");
  registry.age_and_refresh();
  list.rows().check(row_of(2));
  list.rows().check(row_of(3));
  list.rebuild_target_table(true);
  ASSERT_EQ(tables.target_count, 2);

  clock.advance(2000);
  hear(1, "alpha");
  hear(3, "gamma");
  clock.advance(3000);
  registry.age_and_refresh();  // beta expired
  EXPECT_EQ(listed(), (std::vector<std::string>{"alpha", "gamma"}));

  hear(2, "beta");
  hear(4, "delta");
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"alpha", "beta", "delta", "gamma"}));
  EXPECT_EQ(list.rows().check_state(row_of(2)), kChecked);  // still a target
  EXPECT_EQ(list.rows().check_state(row_of(3)), kChecked);  // survived the insertions
  EXPECT_EQ(list.rows().check_state(row_of(1)), kUnchecked);
  EXPECT_EQ(list.rows().check_state(row_of(4)), kUnchecked);
}

TEST_F(RegistryTest, ReturningClientStartsAfreshWithDiskOne) {
  hear(1, "pc", {test::make_disk(2 << 20, 1), test::make_disk(4 << 20, 1)});
  registry.age_and_refresh();
  tables.clients[0].selected_disk = 1;
  list.update_rows_from_client_table();
  EXPECT_EQ(rows.cell(0, 3), "Disk 2 (2048Mb)");
  clock.advance(5000);
  registry.age_and_refresh();
  hear(1, "pc", {test::make_disk(2 << 20, 1), test::make_disk(4 << 20, 1)});
  registry.age_and_refresh();
  EXPECT_EQ(record(0).selected_disk, 0);
  EXPECT_EQ(rows.cell(0, 3), "Disk 1 (1024Mb)");
}

TEST_F(RegistryTest, AChosenDiskSurvivesTheExpiryOfAnotherClient) {
  const std::vector<DiskEntry> two_disks{test::make_disk(2 << 20, 1), test::make_disk(4 << 20, 1)};
  hear(1, "alpha", two_disks);
  hear(2, "beta", two_disks);
  hear(3, "gamma", two_disks);
  registry.age_and_refresh();
  tables.clients[1].selected_disk = 1;  // beta's second disk, chosen in the drive dialog
  list.update_rows_from_client_table();
  ASSERT_EQ(rows.cell(row_of(2), 3), "Disk 2 (2048Mb)");

  for (int pass = 0; pass < 2; ++pass) {
    clock.advance(3000);
    hear(2, "beta", two_disks);
    hear(3, "gamma", two_disks);
    clock.advance(2000);
    registry.age_and_refresh();  // alpha, then on the second pass nobody, expires
    registry.age_and_refresh();
  }
  EXPECT_EQ(listed(), (std::vector<std::string>{"beta", "gamma"}));
  const int beta = tables.find_client(pc(2));
  ASSERT_GE(beta, 0);
  EXPECT_EQ(record(beta).selected_disk, 1);
  EXPECT_EQ(rows.cell(row_of(2), 3), "Disk 2 (2048Mb)");

  // A list with more rows than the table is emptied and every record listed again:
  // each keeps its disk.
  list.rows().append_client_row({"stray", "010.000.009.009", 1, 0, 1});
  registry.age_and_refresh();
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"beta", "gamma"}));
  EXPECT_EQ(record(beta).selected_disk, 1);
  EXPECT_EQ(rows.cell(row_of(2), 3), "Disk 2 (2048Mb)");
  EXPECT_EQ(rows.cell(row_of(3), 3), "Disk 1 (1024Mb)");
}

TEST_F(RegistryTest, ExpiryThatMovesAnUnlistedRecordListsEveryClientOnce) {
  hear(1, "a");
  clock.advance(10);
  hear(2, "b");
  hear(3, "c");
  registry.age_and_refresh();
  clock.advance(4990);  // a reaches its expiry
  hear(2, "b");
  hear(3, "c");
  hear(4, "d");  // d and e arrive before the next idle pass
  hear(5, "e");
  registry.age_and_refresh();  // e moves into a's slot, which was listed
  EXPECT_EQ(listed(), (std::vector<std::string>{"b", "c", "d", "e"}));
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"b", "c", "d", "e"}));
}

TEST_F(RegistryTest, MoreRowsThanRecordsRelistsWithTheCheckMarksKept) {
  hear(1, "a");
  hear(2, "b");
  registry.age_and_refresh();
  list.rows().check(row_of(2));
  list.rows().append_client_row({"stray", "010.000.009.009", 1, 0, 1});
  registry.age_and_refresh();  // rebuild of the targets, then every row goes
  EXPECT_EQ(rows.row_count(), 0);
  ASSERT_EQ(tables.target_count, 1);
  EXPECT_EQ(tables.targets[0].address, pc(2));
  registry.age_and_refresh();
  EXPECT_EQ(listed(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(rows.check_state(row_of(2)), kChecked);
}

TEST_F(RegistryTest, ExpiryAcrossTheTickCounterWrap) {
  clock.set(0xFFFFF000u);
  hear(1, "wrap");
  registry.age_and_refresh();
  clock.advance(4999);  // now past zero, deadline not reached
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 1);
  clock.advance(1);
  registry.age_and_refresh();
  EXPECT_EQ(rows.row_count(), 0);
}

TEST_F(RegistryTest, DiscoverWithoutAnOpenEndpointSendsNothingAndClearsNothing) {
  hear(1, "kept");
  registry.age_and_refresh();
  EXPECT_EQ(registry.discover(true), 0);
  EXPECT_EQ(tables.client_count, 1);
  EXPECT_EQ(rows.row_count(), 1);
}

}  // namespace
}  // namespace kestrelon
