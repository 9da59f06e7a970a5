// The Copy command flow over real UDP on loopback: scripted Clients are
// discovered, checked in the main client list and sent an image; a scripted user
// interface records what the flow shows.
#include "commands/copy_flow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "commands/schedule_flow.h"
#include "commands/transfer_checks.h"
#include "copy_rig.h"
#include "scripted_copy_port.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using test::client_address;
using test::kController;

class CopyFlowTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  CoreOptions options() {
    CoreOptions o;
    o.addresses = [] { return AddressList{0, {kController}}; };
    o.clock = &clock;
    o.settings_folder = temp / "settings";
    o.profile_file = temp / "kestreln.ini";
    o.journal_file = journal_file;
    o.shutdown_wait = 300ms;
    return o;
  }

  // Clients "PC-0".. with one disk of the given size each, discovered and listed.
  void discover(const std::vector<std::uint32_t>& disk_sectors) {
    std::vector<test::AnnounceSpec> specs;
    for (std::size_t i = 0; i < disk_sectors.size(); ++i) {
      test::AnnounceSpec s;
      s.address = client_address(static_cast<int>(i));
      s.name = "PC-" + std::to_string(i);
      s.disks.push_back(test::make_disk(disk_sectors[i], 1));
      specs.push_back(s);
      clients.push_back(std::make_unique<test::ScriptedClient>(s.address));
      ASSERT_TRUE(clients.back()->control.ok() && clients.back()->data.ok());
    }
    announcer.set_clients(specs);
    ASSERT_TRUE(core.start());
    for (int i = 0; i < 300 && core.main_client_list().row_count() < static_cast<int>(specs.size()); ++i) {
      core.idle_pass();
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(core.main_client_list().row_count(), static_cast<int>(specs.size()));
  }
  void check_all() { core.main_client_list().rows().check_all(); }
  // An image whose data sizes sum to `data_sectors` and full sizes to twice that.
  std::string image(std::uint32_t data_sectors, std::uint64_t length = 20'000) {
    const std::string path = (temp / "lab.krn").string();
    test::write_file(path, test::image_bytes({.length = length,
                                              .partition_count = 2,
                                              .full_sectors = {data_sectors, data_sectors},
                                              .data_sectors = {data_sectors / 2, data_sectors - data_sectors / 2}}));
    return path;
  }
  void send(int c, const std::vector<std::uint8_t>& datagram) {
    clients[static_cast<std::size_t>(c)]->control.send(datagram, kController, wire::kControlPort);
  }
  void wait_running(bool running) {
    for (int i = 0; i < 400 && core.copy_engine().copy_running() != running; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(core.copy_engine().copy_running(), running);
  }
  // Reads the flag under the client table lock the receive thread writes it under.
  int target_done(int c) {
    SemaphoreGuard hold(core.locks().client_table);
    return core.tables().targets[static_cast<std::size_t>(c)].done;
  }
  void wait_done(int c) {
    for (int i = 0; i < 400 && target_done(c) == 0; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(target_done(c), 1);
  }
  // Whether client `c` saw OP_ABORT on the data group.
  bool saw_abort(int c) {
    for (const auto& r : clients[static_cast<std::size_t>(c)]->data.receive_all(50))
      if (r.bytes.size() == wire::kAbortLength && read_be16(r.bytes, 6) == wire::OP_ABORT) return true;
    return false;
  }
  int copy_starts(int c) {
    int n = 0;
    for (const auto& r : clients[static_cast<std::size_t>(c)]->control.receive_all(30))
      if (read_be16(r.bytes, 6) == wire::OP_COPY_START) ++n;
    return n;
  }

  // The journal's records, and how many there were as the failed Clients were listed.
  std::vector<JournalRecord> journal() const { return TransferJournal(journal_file).read().records; }
  void count_journal_when_listed() {
    port.on_failed = [this] { journal_when_listed = static_cast<int>(journal().size()); };
  }

  test::TempFolder temp;
  std::filesystem::path journal_file = temp / "transfers.jsonl";
  int journal_when_listed = -1;
  test::RecordingUi ui;
  ManualClock clock{5000};
  test::ScriptedAnnouncer announcer{kController};
  ControllerCore core{ui, options()};
  test::ScriptedCopyPort port{ui};
  CopyFlow flow{core, port};
  std::vector<std::unique_ptr<test::ScriptedClient>> clients;
};

TEST_F(CopyFlowTest, ACopyThatEveryTargetCompletesAbortsRestoresAndRediscovers) {
  discover({100'000, 100'000});
  check_all();
  port.during = [&](CopyTransfer&) {
    send(0, test::copy_ready_datagram());
    send(1, test::copy_ready_datagram());
    wait_running(true);
    send(0, test::copy_done_datagram(client_address(0)));
    send(1, test::copy_done_datagram(client_address(1)));
  };
  const CopyFlowResult result = flow.run(image(1000), CopyOptions{});
  EXPECT_TRUE(port.opened_ok);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.targets, 2);
  EXPECT_EQ(result.image_bytes, 20'000u);
  EXPECT_GT(result.seconds, 0);
  EXPECT_TRUE(port.failed.empty());
  EXPECT_TRUE(port.messages.empty());
  EXPECT_EQ(port.timed, std::vector<std::string>{"Restoring Connections..."});
  EXPECT_TRUE(saw_abort(0));
  EXPECT_TRUE(saw_abort(1));
  EXPECT_EQ(core.tables().target_count, 0) << "rediscovered with clearing";
  EXPECT_FALSE(core.copy_worker().active());
  EXPECT_FALSE(flow.transfer_dialog_open());
}

TEST_F(CopyFlowTest, CancelBeforeAnyClientIsDoneListsEveryTargetAsFailed) {
  discover({100'000, 100'000, 100'000});
  check_all();
  count_journal_when_listed();
  port.during = [&](CopyTransfer& transfer) {
    for (int c = 0; c < 3; ++c) send(c, test::copy_ready_datagram());
    wait_running(true);
    transfer.cancel();  // the user's Cancel button
  };
  const CopyFlowResult result = flow.run(image(1000), CopyOptions{});
  EXPECT_FALSE(result.succeeded());
  EXPECT_EQ(result.not_done, 3);
  EXPECT_EQ(port.failed, (std::vector<std::vector<std::string>>{{"PC-0", "PC-1", "PC-2"}}));
  EXPECT_EQ(journal_when_listed, 1) << "journalled as the copy ended, before the list waits for the user";
  EXPECT_EQ(journal().back().value("result", ""), "cancelled");
  EXPECT_FALSE(core.copy_engine().copy_running()) << "the flow clears the running flag";
  EXPECT_TRUE(saw_abort(2));
}

TEST_F(CopyFlowTest, TargetsNotDoneFiveSecondsAfterTheFirstAreReportedByTheSupervision) {
  discover({100'000, 100'000});
  check_all();
  count_journal_when_listed();
  port.during = [&](CopyTransfer& transfer) {
    send(0, test::copy_ready_datagram());
    send(1, test::copy_ready_datagram());
    wait_running(true);
    send(1, test::copy_done_datagram(client_address(1)));
    wait_done(1);
    clock.advance(5000);
    flow.supervise();
    EXPECT_TRUE(port.failed.empty()) << "the grace has not passed yet";
    EXPECT_FALSE(transfer.ended());
    clock.advance(1);
    flow.supervise();
    EXPECT_TRUE(transfer.ended()) << "the supervision ends the Transfer dialog";
  };
  const CopyFlowResult result = flow.run(image(1000), CopyOptions{});
  EXPECT_EQ(result.not_done, 1);
  EXPECT_EQ(port.failed, (std::vector<std::vector<std::string>>{{"PC-0"}})) << "listed once, by the supervision";
  EXPECT_EQ(port.messages, std::vector<std::string>{"1 clients did not complete the transfer!"});
  EXPECT_FALSE(core.copy_engine().copy_running());
  EXPECT_EQ(journal_when_listed, 1) << "journalled as the supervision ended the copy";
  ASSERT_EQ(journal().size(), 1u);
  EXPECT_EQ(journal()[0].value("result", ""), "partial");
  EXPECT_EQ(journal()[0]["targets"][0].value("reason", "").rfind("not done 5 s after the first Client finished", 0), 0u);
}

TEST_F(CopyFlowTest, TargetsWithTooSmallADiskAreListedUncheckedAndNothingIsCopied) {
  // PC-0 one sector short; PC-1 exactly the image; PC-2 large; PC-3 small but not checked.
  discover({999, 1000, 50'000, 10});
  CheckListModel& rows = core.main_client_list().rows();
  for (int r = 0; r < rows.row_count(); ++r)
    if (rows.cell(r, 0) != "PC-3") rows.check(r);
  const CopyFlowResult result = flow.run(image(1000), CopyOptions{});
  EXPECT_FALSE(result.transfer_ran);
  EXPECT_EQ(port.low_space, (std::vector<std::vector<std::string>>{{"PC-0"}}));
  for (int r = 0; r < rows.row_count(); ++r) {
    EXPECT_EQ(rows.check_state(r), rows.cell(r, 0) == "PC-0" || rows.cell(r, 0) == "PC-3" ? kUnchecked : kChecked)
        << rows.cell(r, 0);
  }
  EXPECT_EQ(port.dialogs, 0);
  EXPECT_EQ(copy_starts(1), 0);

  // With the partition sizes kept, the full sizes count: 2000 sectors.
  port.low_space.clear();
  rows.check_all();
  flow.run(image(1000), CopyOptions{.keep_partition_size = true});
  ASSERT_EQ(port.low_space.size(), 1u);
  EXPECT_EQ(port.low_space[0], (std::vector<std::string>{"PC-0", "PC-1", "PC-3"}));
}

TEST_F(CopyFlowTest, FilesThatAreNoImagesAreRefusedBeforeAnyTargetIsTold) {
  discover({100'000});
  check_all();
  flow.run((temp / "missing.krn").string(), CopyOptions{});
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0], "Could not open " + (temp / "missing.krn").string());

  flow.run(image(10, 7000), CopyOptions{});
  ASSERT_EQ(port.messages.size(), 2u);
  EXPECT_NE(port.messages[1].find("too short"), std::string::npos) << port.messages[1];

  test::write_file((temp / "odd.krn").string(), test::image_bytes({.length = 9000, .partition_count = 200}));
  flow.run((temp / "odd.krn").string(), CopyOptions{});
  ASSERT_EQ(port.messages.size(), 3u);
  EXPECT_NE(port.messages[2].find("claims 200 partitions"), std::string::npos) << port.messages[2];

  // An image of the reference Client that records 40000 bytes and holds 20000.
  std::vector<std::uint8_t> cut = test::image_bytes(
      {.length = 20'000, .partition_count = 1, .full_sectors = {100}, .data_sectors = {100}});
  const std::uint8_t header[] = {'K', 'R', 'N', 'I', 0x40, 0x9C, 0, 0, 0, 0, 0, 0};
  std::copy(std::begin(header), std::end(header), cut.begin());
  test::write_file((temp / "cut.krn").string(), cut);
  flow.run((temp / "cut.krn").string(), CopyOptions{});
  ASSERT_EQ(port.messages.size(), 4u);
  EXPECT_EQ(port.messages[3], "The image file " + (temp / "cut.krn").string() +
                                  " is damaged: the file holds 20000 bytes of an image of 40000: it was cut off."
                                  " It is not sent.");
  EXPECT_EQ(image_problem((temp / "cut.krn").string()), image_damage((temp / "cut.krn").string()))
      << "the command line's check is the same";
  EXPECT_EQ(port.dialogs, 0);
  EXPECT_EQ(copy_starts(0), 0);
}

TEST_F(CopyFlowTest, WithoutACheckedClientTheTransferDialogClosesAtOnceAfterTheMessage) {
  discover({100'000});
  const CopyFlowResult result = flow.run(image(1000), CopyOptions{});
  EXPECT_EQ(port.dialogs, 1);
  EXPECT_FALSE(port.opened_ok);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"No clients have been checked (discovered) !"});
  EXPECT_FALSE(result.succeeded());
  EXPECT_FALSE(core.copy_worker().active());
  EXPECT_TRUE(journal().empty()) << "a copy to nobody never started: it is no failed copy";
}

// Whether this process holds `path` open.
bool held_open(const std::filesystem::path& path) {
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error))
    if (std::filesystem::read_symlink(fd.path(), error) == path) return true;
  return false;
}

// The Schedule command makes the Copy command's checks before its countdown and
// refuses an empty target table there; only the countdown's end makes the copy due.
// The image is not held open while the countdown runs.
TEST_F(CopyFlowTest, ScheduleChecksEverythingBeforeItsCountdown) {
  const std::string path = image(1000);
  struct Countdown : SchedulePort {
    explicit Countdown(std::string image) : image(std::move(image)) {}
    bool run_schedule_dialog() override {
      ++runs;
      image_held |= held_open(image);
      return answer;
    }
    std::string image;
    int runs = 0;
    bool answer = false;
    bool image_held = false;
  } countdown(std::filesystem::canonical(path).string());
  discover({100'000, 999});

  EXPECT_FALSE(schedule_copy(flow, {.image_path = path}, countdown)) << "no Client checked";
  EXPECT_EQ(port.messages, std::vector<std::string>{"No clients have been checked (discovered) !"});
  EXPECT_EQ(countdown.runs, 0);

  EXPECT_FALSE(schedule_copy(flow, {.image_path = (temp / "missing.krn").string()}, countdown));
  EXPECT_EQ(port.messages.back(), "Could not open " + (temp / "missing.krn").string());

  check_all();
  EXPECT_FALSE(schedule_copy(flow, {.image_path = path}, countdown)) << "PC-1's disk is too small";
  EXPECT_EQ(port.low_space, (std::vector<std::vector<std::string>>{{"PC-1"}}));
  EXPECT_EQ(countdown.runs, 0);

  EXPECT_FALSE(schedule_copy(flow, {.image_path = path}, countdown)) << "cancelled countdown";
  EXPECT_EQ(countdown.runs, 1);
  countdown.answer = true;
  EXPECT_TRUE(schedule_copy(flow, {.image_path = path}, countdown));
  EXPECT_EQ(port.dialogs, 0) << "the copy itself is the caller's Copy command";
  EXPECT_EQ(copy_starts(0), 0) << "nothing was sent to the Clients";
  EXPECT_FALSE(countdown.image_held);
  EXPECT_FALSE(held_open(countdown.image));
}

}  // namespace
}  // namespace kestrelon
