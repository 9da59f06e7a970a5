// Create across the lab under what a network does to an upload: the Controller
// on host 0, the reference Client on host 1 (pipelined, or stop-and-wait), and
// datagrams lost on either host (nftables), lost, repeated and held back by the
// Client itself in both directions, or forged by a stray host 2 with the
// upload's own block numbers and a tail that asks for answers. Every image must
// equal the one a quiet network makes, byte for byte. A Client that goes silent
// and a Create cancelled half-way fail cleanly: the image of the same name made
// earlier stays as it was, and no temporary file is left.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "lab_controller.h"
#include "lab_network.h"
#include "net/wire_format.h"
#include "platform/udp_socket.h"
#include "support/datagrams.h"
#include "support/image_files.h"
#include "support/upload_records.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

constexpr int kClientHost = 1;
constexpr int kStrayHost = 2;
constexpr int kLevel = 5;

// Sends forged upload blocks to the Controller from the stray host, numbered as
// the blocks the upload expects next, each asking for an answer.
class Forger {
 public:
  Forger(LabNetwork& net, lab::LabController& controller) : controller_(controller) {
    net.run_in(kStrayHost, [&] {
      ok_ = socket_.open() == 0 && socket_.bind(LabNetwork::address(kStrayHost), wire::kControlPort) == 0;
    });
    thread_ = std::thread([this] { run(); });
  }
  ~Forger() {
    stop_ = true;
    thread_.join();
  }
  bool ok() const { return ok_; }
  std::uint64_t sent() const { return sent_.load(); }

 private:
  void run() {
    for (std::uint32_t n = 0; !stop_; ++n) {
      const std::uint32_t expected = controller_.core().receive_engine().expected_block();
      test::Bytes d = test::create_data_datagram(expected + n % 2, test::data_record(test::counting(900, 0xEE)), 1, 1);
      d.resize(d.size() - 4);
      d.insert(d.end(), {0x25, 0x48, 0, 3, 0, 0, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
      if (ok_) socket_.send_to(d, LabNetwork::address(0), wire::kControlPort);
      sent_.fetch_add(1);
      std::this_thread::sleep_for(1ms);
    }
  }
  lab::LabController& controller_;
  UdpSocket socket_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> sent_{0};
  std::thread thread_;
};

class LabCreateFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_LAB();
    disk = dir.file("disk.img");
    ASSERT_TRUE(test::make_virtual_disk(disk, 24, "start=2048, size=40960, type=83\n"));
    ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 5 << 20, 3, false));
    ASSERT_TRUE(test::fill_region(disk, 2048 * 512 + (8 << 20), 3 << 20, 4, true));
  }
  lab::LabProcess client(LabNetwork& net, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                     LabNetwork::address(kClientHost).text(), "--name", "source"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    lab::LabProcess p = net.spawn(kClientHost, argv);
    // The Controller still lists the Client of the case before at this address:
    // its request must not reach the port before this one listens.
    for (int i = 0; i < 250 && p.output().find("listening") == std::string::npos; ++i) {
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_NE(p.output().find("listening"), std::string::npos) << p.output();
    return p;
  }
  test::TempDir dir;
  std::string disk;
};

TEST_F(LabCreateFaults, ImagesAreExactUnderLossDuplicationReorderingAndForgedBlocks) {
  LabNetwork net(kStrayHost);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());

  const std::string quiet = dir.file("quiet.krn");
  {
    lab::LabProcess c = client(net);
    ASSERT_TRUE(controller.create("source", quiet, "faults", kLevel).completed()) << c.output();
  }
  const auto reference = test::read_file(quiet);
  ASSERT_GT(reference.size(), 5u << 20);

  struct Case {
    const char* name;
    std::vector<std::string> switches;
    double loss = 0;  // on both hosts
    bool forged = false;
  };
  const std::vector<Case> cases = {
      {"loss on both hosts", {}, 3},
      {"the Client loses datagrams both ways", {"--seed", "3", "--drop-in", "3", "--drop-out", "3"}},
      {"the Client repeats datagrams both ways", {"--seed", "4", "--duplicate-in", "5", "--duplicate-out", "5"}},
      {"the Client holds datagrams back both ways",
       {"--seed", "5", "--delay-in", "5", "--delay-out", "5", "--delay-ms", "20"}},
      {"a stray host forges blocks", {}, 0, true},
      {"stop-and-wait behind loss", {"--stop-and-wait", "--compress-threads", "1"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(net.set_loss(0, c.loss));
    ASSERT_TRUE(net.set_loss(kClientHost, c.loss));
    lab::LabProcess source = client(net, c.switches);
    const std::string image = dir.file("faulty.krn");
    std::unique_ptr<Forger> forger;
    if (c.forged) {
      forger = std::make_unique<Forger>(net, controller);
      ASSERT_TRUE(forger->ok());
    }
    const auto foreign_before = controller.core().receive_engine().foreign_packets();
    CreateFlowResult r = controller.create("source", image, "faults", kLevel);
    if (r.outcome == CreateOutcome::silent && controller.core().receive_engine().expected_block() == 0) {
      // The request is sent once, and loss can take it: the user creates again.
      std::printf("note: the Create request was lost (%s); creating again\n", c.name);
      r = controller.create("source", image, "faults", kLevel);
    }
    forger.reset();
    ASSERT_TRUE(r.completed()) << "end " << int(r.end) << " outcome " << int(r.outcome) << "\n" << source.output();
    EXPECT_TRUE(test::read_file(image) == reference) << "the image differs from the quiet network's";
    if (c.forged) {
      EXPECT_GT(controller.core().receive_engine().foreign_packets(), foreign_before + 10);
    }
    std::filesystem::remove(image);
  }
  ASSERT_TRUE(net.set_loss(0, 0));
  ASSERT_TRUE(net.set_loss(kClientHost, 0));
}

TEST_F(LabCreateFaults, ASilentClientOrACancelFailsTheCreateAndLeavesTheEarlierImage) {
  LabNetwork net(kClientHost);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net, TuningValues{.create_inactivity_ms = 1500});
  ASSERT_TRUE(controller.start());
  const std::string image = dir.file("lab.krn");
  {
    lab::LabProcess c = client(net);
    ASSERT_TRUE(controller.create("source", image, "earlier", kLevel).completed()) << c.output();
  }
  const auto earlier = test::read_file(image);
  const auto untouched = [&] {
    EXPECT_TRUE(test::read_file(image) == earlier) << "the earlier image changed";
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_NE(entry.path().extension(), ".part") << "a temporary file was left: " << entry.path();
    }
  };

  {
    lab::LabProcess silent = client(net, {"--silent-after", "300"});
    const CreateFlowResult r = controller.create("source", image, "later", kLevel);
    EXPECT_EQ(r.outcome, CreateOutcome::silent) << silent.output();
    untouched();
  }
  {
    lab::LabProcess source = client(net);
    ReceiveEngine& engine = controller.core().receive_engine();
    const CreateFlowResult r =
        controller.create("source", image, "later", kLevel, [&] { return engine.expected_block() > 1000; });
    EXPECT_EQ(r.outcome, CreateOutcome::cancelled);
    untouched();
    // The Client heard the abort and ended its upload.
    for (int i = 0; i < 100 && source.output().find("aborted by the Controller") == std::string::npos; ++i) {
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_NE(source.output().find("aborted by the Controller"), std::string::npos) << source.output();
  }
}

}  // namespace
}  // namespace kestrelon
