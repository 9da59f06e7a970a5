// A whole copy across the lab: the Controller's copy engine and worker on host 0,
// kestrelon-client programs on hosts 1..3 keeping the file with --store, and
// nftables dropping a share of what one Client host receives.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "lab_network.h"
#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "net/wire_format.h"
#include "support/image_files.h"
#include "support/recording_ui.h"
#include "transfer/copy_engine.h"
#include "transfer/copy_worker.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

struct NoDialog : TransferDialogHooks {
  void set_progress_range(int, int) override {}
  void set_position(std::int32_t) override {}
  void request_cancel() override {}
};

class LabCopy : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  test::RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard board{ui};
  ReceiveDispatcher dispatcher{locks.receive, board};
  EndpointTable endpoints{dispatcher, ui};
  ClientTables tables;
  TransferStats stats;
  CopyEngine engine{tables, locks, endpoints, ui, stats, SystemClock::instance()};
  CopyWorker worker{engine, locks.worker};
  NoDialog dialog;
  test::TempDir dir;
  ImageFile image;
};

TEST_F(LabCopy, ThreeHostsOneWithLossGetTheFile) {
  constexpr int kClients = 3;
  LabNetwork net(kClients);
  ASSERT_TRUE(net.ok()) << net.error();
  ASSERT_TRUE(net.set_loss(2, 2));
  std::vector<lab::LabProcess> clients;
  for (int h = 1; h <= kClients; ++h) {
    clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(h).text(), "--store",
                                    dir.file("host" + std::to_string(h)), "--once"}));
    ClientRecord r;
    r.address = LabNetwork::address(h);
    r.disk_count = 1;
    tables.clients[static_cast<std::size_t>(h - 1)] = r;
    tables.targets[static_cast<std::size_t>(h - 1)] = r;
  }
  tables.client_count = tables.target_count = kClients;

  // The Controller's sockets belong to host 0.
  bool started = false;
  ASSERT_TRUE(net.run_in(0, [&] {
    dispatcher.set_copy_handler(&engine);
    started = endpoints.start_network("", [] { return AddressList{0, {LabNetwork::address(0)}}; });
  }));
  ASSERT_TRUE(started);
  engine.attach_dialog(&dialog);
  std::this_thread::sleep_for(300ms);  // the Clients bind their sockets

  const std::uint64_t length = 1350ull * 4000 + 99;
  test::write_pattern_file(dir.file("lab.krn"), length);
  ASSERT_EQ(image.open(dir.file("lab.krn")), 0);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  worker.start();
  while (engine.ready_count() < kClients && std::chrono::steady_clock::now() - start < 10s) std::this_thread::sleep_for(2ms);
  while (engine.copy_running() && std::chrono::steady_clock::now() - start < 60s) std::this_thread::sleep_for(5ms);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const bool all_done = engine.ready_count() >= kClients && !engine.copy_running();
  worker.stop_and_join();
  endpoints.send(EndpointTable::kAllInterfaces, wire::build_abort(), wire::kDataGroup, wire::kDataPort);
  std::printf("[ measure  ] %.1f MB to 3 lab hosts (2%% loss on one) in %lld ms: %lld acknowledgements, %lld retries\n",
              static_cast<double>(length) / 1e6, static_cast<long long>(took.count()),
              static_cast<long long>(stats.acknowledgements.load()), static_cast<long long>(stats.retries.load()));
  ASSERT_TRUE(all_done);
  const auto original = test::read_file(dir.file("lab.krn"));
  for (int h = 1; h <= kClients; ++h) {
    auto& c = clients[static_cast<std::size_t>(h - 1)];
    EXPECT_EQ(c.wait(5s), 0) << c.output();
    EXPECT_TRUE(test::read_file(dir.file("host" + std::to_string(h) + "/lab.krn")) == original) << "host " << h;
  }
  engine.attach_dialog(nullptr);
  endpoints.close_all();
}

}  // namespace
}  // namespace kestrelon
