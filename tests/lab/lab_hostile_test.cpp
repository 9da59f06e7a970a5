// A hostile LAN: the Controller on host 0 copies to three reference Clients and
// has one of them upload its disk, while a stray host floods the Controller's
// port with empty datagrams, foreign traffic, unknown opcodes whose version words
// keep changing, forged upload blocks numbered as the real upload's, and copy
// answers from an address that is no target or for blocks the image does not
// have. Both transfers must end whole and byte for byte right, the notice queue
// must stay bounded, and the Controller must still find a Client started
// afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
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

constexpr int kClients = 3;
constexpr int kStrayHost = 4;
constexpr int kLateHost = 5;

std::string name_of(int host) { return "host-" + std::to_string(host); }

// The stray host: sends its mix of bad datagrams to the Controller's port in
// bursts (faster than a person dismisses message boxes), until told to stop.
// Watches the Controller's notice queue as it goes.
class Stray {
 public:
  Stray(LabNetwork& net, lab::LabController& controller) : controller_(controller) {
    net.run_in(kStrayHost, [&] {
      ok_ = socket_.open() == 0 && socket_.bind(LabNetwork::address(kStrayHost), wire::kControlPort) == 0;
    });
  }
  ~Stray() { stop(); }
  bool ok() const { return ok_; }
  void start() {
    thread_ = std::thread([this] { run(); });
  }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::uint64_t sent() const { return sent_.load(); }
  std::size_t most_notices_waiting() const { return most_waiting_.load(); }

 private:
  void send(const std::vector<std::uint8_t>& datagram) {
    socket_.send_to(datagram, LabNetwork::address(0), wire::kControlPort);
    sent_.fetch_add(1);
    most_waiting_.store(std::max(most_waiting_.load(), controller_.core().notices().outstanding()));
  }
  void run() {
    const Ipv4Address self = LabNetwork::address(kStrayHost);
    for (std::uint32_t n = 0; !stop_; ++n) {
      if (n % kBurst == 0) std::this_thread::sleep_for(20ms);
      const std::uint32_t expected = controller_.core().receive_engine().expected_block();
      switch (n % 9) {
        case 0:
          send({});
          break;
        case 1:
          send({'G', 'E', 'T', ' ', '/', static_cast<std::uint8_t>(n)});
          break;
        case 2: {  // opcodes no Client sends, with ever new version words
          const auto opcode = static_cast<std::uint16_t>(10 + n % 40);
          send(test::client_header(opcode == wire::OP_CREATE_DATA ? 99 : opcode, static_cast<std::uint16_t>(n)));
          break;
        }
        case 3:  // the upload's current and next block, well formed
          send(test::create_data_datagram(expected + (n / 9) % 2, test::data_record(test::counting(200, 0xEE)), 0,
                                          0));
          break;
        case 4:
          send(test::copy_ack_datagram(1'000'000 + n, self, 1, 1));
          break;
        case 5:
          send(test::copy_ack_datagram(0x7FFFFFF0u, self, 0, 0));
          break;
        case 6:
          send(test::copy_ready_datagram());
          break;
        case 7:
          send(test::copy_done_datagram(self));
          break;
        default:
          send(test::copy_ack_datagram(1, self, 0, 0));  // a low block from no target
          break;
      }
    }
  }
  static constexpr std::uint32_t kBurst = 9 * 6;

  lab::LabController& controller_;
  UdpSocket socket_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> sent_{0};
  std::atomic<std::size_t> most_waiting_{0};
  std::thread thread_;
};

class LabHostile : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
  test::TempDir dir;
};

TEST_F(LabHostile, TransfersEndWholeWhileAStrayHostFloodsTheController) {
  LabNetwork net(kLateHost);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(disk, 16, "start=2048, size=20480, type=83\n"));
  ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 3 << 20, 7, false));
  std::vector<lab::LabProcess> clients;
  std::vector<std::string> names;
  for (int h = 1; h <= kClients; ++h) {
    clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                    LabNetwork::address(h).text(), "--name", name_of(h), "--store",
                                    dir.file("store" + std::to_string(h))}));
    names.push_back(name_of(h));
  }
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());

  // The image as a quiet network makes it.
  const std::string clean = dir.file("clean.krn");
  ASSERT_TRUE(controller.create(name_of(1), clean, "hostile", 0).completed()) << clients[0].output();

  Stray stray(net, controller);
  ASSERT_TRUE(stray.ok());
  stray.start();
  const CopyFlowResult copied = controller.copy(clean, names);
  const std::string during = dir.file("during.krn");
  const CreateFlowResult created = controller.create(name_of(1), during, "hostile", 0);
  stray.stop();

  ControllerCore& core = controller.core();
  const std::uint64_t empty = core.dispatcher().count(ReceiveDispatcher::Outcome::empty);
  const std::uint64_t foreign_upload = core.receive_engine().foreign_packets();
  const std::uint64_t stray_answers = core.copy_engine().stray_answers();
  std::printf("[ measure  ] the stray sent %llu datagrams; %llu empty, %llu upload blocks and %llu copy answers "
              "dropped; at most %zu notices waiting, %zu shown\n",
              static_cast<unsigned long long>(stray.sent()), static_cast<unsigned long long>(empty),
              static_cast<unsigned long long>(foreign_upload), static_cast<unsigned long long>(stray_answers),
              stray.most_notices_waiting(), controller.ui().messages().size());
  EXPECT_TRUE(copied.succeeded()) << copied.not_done << " of " << copied.targets << " targets did not finish";
  const auto original = test::read_file(clean);
  for (int h = 1; h <= kClients; ++h) {
    EXPECT_TRUE(test::read_file(dir.file("store" + std::to_string(h) + "/clean.krn")) == original) << "host " << h;
  }
  ASSERT_TRUE(created.completed());
  EXPECT_TRUE(test::read_file(during) == original) << "the upload took a forged block";

  EXPECT_GT(empty, 0u);
  EXPECT_GT(foreign_upload, 0u);
  EXPECT_GT(stray_answers, 0u);
  EXPECT_LE(stray.most_notices_waiting(), 2u) << "one wrong-cookie and one unknown-opcode notice at most";

  // Reception goes on: a Client started now is found.
  lab::LabProcess late = net.spawn(kLateHost, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                               LabNetwork::address(kLateHost).text(), "--name", "late"});
  EXPECT_TRUE(controller.discover({"late"}, 10s)) << late.output();
}

}  // namespace
}  // namespace kestrelon
