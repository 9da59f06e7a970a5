// A hostile LAN, second round: the Controller on host 0 with reference Clients,
// and a stray host that forges what each kind of Client answer, Controller order
// or announce would carry, or a process of another user on the Controller's own
// host. Each test is one way in which a stray host could lose a copy, keep a
// Create alive, take the Controller's traffic, steer a Client, fill the list or
// the disk, or cut the journal; each ends with everything whole.
#include <gtest/gtest.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "app/transfer_journal.h"
#include "lab_controller.h"
#include "lab_network.h"
#include "net/port_in_use.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "support/datagrams.h"
#include "support/image_files.h"
#include "support/scripted_announcer.h"
#include "support/scripted_uploader.h"
#include "support/udp_peer.h"
#include "support/upload_records.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;
using Steady = std::chrono::steady_clock;

constexpr int kStrayHost = 4;
constexpr int kLastHost = 5;

std::string name_of(int host) { return "host-" + std::to_string(host); }

std::unique_ptr<test::UdpPeer> peer_in(LabNetwork& net, int host, std::uint16_t port = wire::kControlPort) {
  std::unique_ptr<test::UdpPeer> peer;
  net.run_in(host, [&] { peer = std::make_unique<test::UdpPeer>(LabNetwork::address(host), port); });
  return peer;
}

// Calls `round` every `period` on a thread of its own until stopped.
class Repeating {
 public:
  Repeating(std::chrono::milliseconds period, std::function<void()> round)
      : thread_([this, period, round = std::move(round)](std::stop_token stop) {
          for (; !stop.stop_requested(); ++rounds_) {
            round();
            std::this_thread::sleep_for(period);
          }
        }) {}
  void stop() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
  }
  int rounds() const { return rounds_.load(); }

 private:
  std::atomic<int> rounds_{0};
  std::jthread thread_;
};

// Sends UDP from the stray host with a source address of its choosing: a
// target's answers forged on the wire.
class Spoofer {
 public:
  explicit Spoofer(LabNetwork& net) {
    net.run_in(kStrayHost, [&] { fd_ = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW); });
  }
  ~Spoofer() { ::close(fd_); }
  bool ok() const { return fd_ >= 0; }
  void send(Ipv4Address from, Ipv4Address to, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> packet(sizeof(iphdr) + sizeof(udphdr));
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 16;
    ip->protocol = IPPROTO_UDP;
    ip->saddr = from.network_order();
    ip->daddr = to.network_order();  // length and checksum: filled in by the system
    auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
    udp->source = udp->dest = htons(wire::kControlPort);
    udp->len = htons(static_cast<std::uint16_t>(sizeof(udphdr) + payload.size()));
    packet.insert(packet.end(), payload.begin(), payload.end());
    const sockaddr_in sa{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {to.network_order()}, .sin_zero = {}};
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  }

 private:
  int fd_ = -1;
};

class LabHostileLan : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  // Reference Clients on hosts 1..n keeping what they receive; with `disk`, one
  // that also uploads it.
  void start_store_clients(LabNetwork& net, int n, const std::string& disk = {}) {
    for (int h = 1; h <= n; ++h) {
      std::vector<std::string> argv{KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(h).text(), "--name",
                                    name_of(h), "--store", dir.file("store" + std::to_string(h)), "--verbose"};
      const std::vector<std::string> source = disk.empty() ? std::vector<std::string>{"--store-size", "1G"}
                                                           : std::vector<std::string>{"--disk", disk};
      argv.insert(argv.end(), source.begin(), source.end());
      clients.push_back(net.spawn(h, argv));
      names.push_back(name_of(h));
    }
  }
  void expect_stored(const std::string& image) {
    const std::string name = std::filesystem::path(image).filename().string();
    for (std::size_t h = 1; h <= clients.size(); ++h) {
      EXPECT_TRUE(test::read_file(dir.file("store" + std::to_string(h) + "/" + name)) == test::read_file(image))
          << name_of(static_cast<int>(h)) << ":\n" << clients[h - 1].output();
    }
  }
  std::string make_image(const std::string& name, std::uint64_t length) {
    test::write_file(dir.file(name), test::image_bytes({.length = length, .partition_count = 0}));
    return dir.file(name);
  }

  test::TempDir dir;
  std::vector<lab::LabProcess> clients;
  std::vector<std::string> names;
};

// Item: copy answers from any host. The stray names every target as done,
// acknowledges for each, asks for block 0 again and reports a progress of
// terabytes, every few milliseconds, in the default and the fast mode.
TEST_F(LabHostileLan, AStrayHostsCopyAnswersLoseNoCopy) {
  LabNetwork net(kStrayHost);
  ASSERT_TRUE(net.ok()) << net.error();
  start_store_clients(net, 3);
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  const std::uint64_t length = 4'000'000;
  const auto stray = peer_in(net, kStrayHost);
  Repeating forging(5ms, [&] {
    const Ipv4Address to = LabNetwork::address(0);
    for (int h = 1; h <= 3; ++h) {
      stray->send(test::copy_done_datagram(LabNetwork::address(h)), to, wire::kControlPort);
      stray->send(test::copy_ack_datagram(2900, LabNetwork::address(h), 4'000'000'000u, 4'000'000'000u), to,
                  wire::kControlPort);
    }
    stray->send(test::copy_nak_datagram(0, 4'000'000'000u, 4'000'000'000u), to, wire::kControlPort);
  });
  ControllerCore& core = controller.core();
  const CopyFlowResult plain = controller.copy(make_image("lab.krn", length), names);
  EXPECT_TRUE(plain.succeeded()) << plain.not_done << " of " << plain.targets << " not done";
  EXPECT_LE(core.transfer_stats().progress_total.load(), (length >> 10) + 1) << "progress only from targets";
  expect_stored(dir.file("lab.krn"));

  core.copy_engine().set_tuning({.fast = true});
  const CopyFlowResult fast = controller.copy(make_image("fast.krn", length), names);
  forging.stop();
  EXPECT_TRUE(fast.succeeded()) << fast.not_done << " of " << fast.targets << " not done";
  expect_stored(dir.file("fast.krn"));
  std::printf("[ measure  ] %d rounds of forged answers; %llu dropped; copies took %.1f s and %.1f s\n",
              forging.rounds(), static_cast<unsigned long long>(core.copy_engine().stray_answers()), plain.seconds,
              fast.seconds);
  EXPECT_GT(core.copy_engine().stray_answers(), 100u);
}

// Bytes host 0 has sent as its interface counts them: whole frames.
std::uint64_t sent_by_host0(LabNetwork& net) {
  std::uint64_t bytes = 0;
  net.run_in(0, [&] {
    std::ifstream in("/proc/thread-self/net/dev");
    for (std::string line; std::getline(in, line);) {
      if (line.find("eth0:") == std::string::npos) continue;
      std::istringstream fields(line.substr(line.find(':') + 1));
      for (int i = 0; i < 9; ++i) fields >> bytes;  // the ninth: bytes sent
    }
  });
  return bytes;
}

// Item: a rate cap that holds. Resend requests forged in the targets' names, as
// fast as the stray host can send them, during a capped fast copy.
TEST_F(LabHostileLan, AForgedResendFloodNeverTakesACappedCopyPastItsCap) {
  LabNetwork net(kStrayHost);
  ASSERT_TRUE(net.ok()) << net.error();
  start_store_clients(net, 3);
  constexpr int kCapMBs = 5;
  lab::LabController controller(net, TuningValues{.fast_copy = 1, .rate_cap_mbs = kCapMBs});
  ASSERT_TRUE(controller.start());
  Spoofer spoofer(net);
  ASSERT_TRUE(spoofer.ok());
  CopyEngine& engine = controller.core().copy_engine();
  std::atomic<bool> stop{false};
  std::uint64_t forged = 0, frame_bytes = 0;
  double seconds = 0;
  std::thread flood([&] {
    while (!stop && engine.next_block() < 200) std::this_thread::sleep_for(1ms);
    const std::uint64_t before = sent_by_host0(net);
    const auto started = Steady::now();
    for (std::uint32_t n = 0; !stop && Steady::now() - started < 4s; ++n, ++forged) {
      const auto block = n * 7919 % static_cast<std::uint32_t>(std::max(engine.next_block(), 1));
      spoofer.send(LabNetwork::address(1 + n % 3), LabNetwork::address(0), test::copy_nak_datagram(block, 0, 0));
      if (n % 16 == 15) std::this_thread::sleep_for(1ms);
    }
    frame_bytes = sent_by_host0(net) - before;
    seconds = std::chrono::duration<double>(Steady::now() - started).count();
  });
  const CopyFlowResult result = controller.copy(make_image("capped.krn", 10'000'000), names);
  stop = true;
  flood.join();
  // The cap counts blocks; each leaves in a frame with the datagram's and the
  // network's headers.
  const double frame_per_block = (wire::kCopyDataLength + sizeof(udphdr) + sizeof(iphdr) + 14.0) / wire::kBlockSize;
  const double rate = static_cast<double>(frame_bytes) / frame_per_block / seconds / 1e6;
  std::printf("[ measure  ] %llu forged resend requests over %.1f s: %.2f MB/s sent against a %d MB/s cap; "
              "copy %.1f s\n", static_cast<unsigned long long>(forged), seconds, rate, kCapMBs, result.seconds);
  EXPECT_TRUE(result.succeeded()) << result.not_done << " of " << result.targets << " not done";
  expect_stored(dir.file("capped.krn"));
  ASSERT_GT(seconds, 1.0) << "the flood ran while the copy did";
  EXPECT_LE(rate, kCapMBs * 1.1 + 0.05 / seconds) << "the cap, and the bucket it may send at once";
}

// Item: another local user takes the Controller's unicast traffic. A process of
// another user on the Controller's host binds its address and port with address
// reuse; and a program that holds the port makes start-up name the port.
TEST_F(LabHostileLan, AnotherUsersProcessCannotShareTheControllersPort) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  {
    lab::LabController controller(net);
    ASSERT_TRUE(controller.start());
    pid_t pid = -1;
    net.run_in(0, [&] {
      if ((pid = ::fork()) != 0) return;
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);  // user "nobody"
      const int on = 1, fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      const sockaddr_in sa{.sin_family = AF_INET, .sin_port = htons(wire::kControlPort),
                           .sin_addr = {LabNetwork::address(0).network_order()}, .sin_zero = {}};
      ::_exit(::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : 1);
    });
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the port is the Controller's alone";
  }
  const auto holder = peer_in(net, 0);
  ASSERT_TRUE(holder->ok());
  lab::LabController controller(net);
  EXPECT_FALSE(controller.start());
  EXPECT_EQ(controller.ui().messages(), std::vector<std::string>{port_in_use_text(LabNetwork::address(0))});
  EXPECT_TRUE(controller.ui().messages().front().starts_with("Port 4747 on 10.47.0.1 is in use"));
}

// Item: the reference Client obeys any host. During a Create the stray refuses
// block 0 and aborts from its own address; during a Copy it aborts on the data
// group and to the Client; then it asks for an announce to go to a third host.
TEST_F(LabHostileLan, TheReferenceClientObeysOnlyTheControllerOfItsTransfer) {
  LabNetwork net(kLastHost);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(disk, 16, "start=2048, size=20480, type=83\n"));
  ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 3 << 20, 11, false));
  start_store_clients(net, 1, disk);
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  const auto stray = peer_in(net, kStrayHost);
  const Ipv4Address client = LabNetwork::address(1);
  Repeating ordering(10ms, [&] {
    stray->send(wire::build_create_nak(0), client, wire::kControlPort);
    stray->send(wire::build_abort(), client, wire::kControlPort);
    stray->send(wire::build_abort(), wire::kDataGroup, wire::kDataPort);
  });
  const std::string created = dir.file("created.krn");
  EXPECT_TRUE(controller.create(name_of(1), created, "steady", 0).completed()) << clients[0].output();
  EXPECT_TRUE(controller.copy(created, names).succeeded()) << clients[0].output();
  ordering.stop();
  expect_stored(created);

  const auto victim = peer_in(net, kLastHost, 9999);
  auto request = wire::build_discover(LabNetwork::address(kLastHost));
  request[12] = 9999 >> 8;  // the reply port
  request[13] = 9999 & 0xFF;
  stray->receive_all(100);
  stray->send(request, client, wire::kControlPort);
  EXPECT_FALSE(victim->receive(1000)) << "no announce to the host the request names";
  const auto answer = stray->receive(1000);
  ASSERT_TRUE(answer) << "the announce goes to the host that asked";
  EXPECT_EQ(answer->from, client);
  EXPECT_EQ(wire::opcode_of(answer->bytes), wire::OP_ANNOUNCE);
}

// Item: upload bounds. A Client (scripted on host 1) that announces a disk with
// one partition of 1 MiB, and then sends a wrong block for ever, 6 MB of data, or
// an image too short for a partition summary.
TEST_F(LabHostileLan, AnUploaderGetsNoMoreThanItsDiskCanHold) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net, TuningValues{.create_inactivity_ms = 1500});
  ASSERT_TRUE(controller.start());
  const Ipv4Address uploader = LabNetwork::address(1);
  std::unique_ptr<test::ScriptedAnnouncer> announcer;
  net.run_in(1, [&] {
    announcer = std::make_unique<test::ScriptedAnnouncer>(
        uploader, std::vector{test::AnnounceSpec{uploader, "uploader", {test::make_disk(1 << 20, 1, 2048)}}});
  });
  ASSERT_TRUE(announcer->ok());

  // A wrong block number, again and again, whatever the Controller answers.
  const auto stubborn = peer_in(net, 1);
  const auto started = Steady::now();
  Repeating refused(20ms, [&] {
    if (Steady::now() - started > 120s) return;
    stubborn->send(test::create_data_datagram(7, test::counting(1000), 0, 0), LabNetwork::address(0),
                   wire::kControlPort);
  });
  EXPECT_EQ(controller.create("uploader", dir.file("stubborn.krn"), "", 0).outcome, CreateOutcome::silent);
  refused.stop();
  // Kept alive, it would last while the blocks come (120 s); given up, it ends
  // after the inactivity limit.
  EXPECT_LT(Steady::now() - started, 60s) << "refused blocks do not keep a Create alive";

  const auto upload = [&](const test::Bytes& stream) {
    std::unique_ptr<test::ScriptedUploader> client;
    net.run_in(1, [&] { client = std::make_unique<test::ScriptedUploader>(uploader, LabNetwork::address(0)); });
    client->start({.stream = stream, .packet = 1300});
    std::filesystem::create_directories(dir.file("uploads"));
    const CreateFlowResult r = controller.create("uploader", dir.file("uploads/upload.krn"), "", 0);
    client->join();
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("uploads"))) << "nothing kept, no temporary file either";
    return r.outcome;
  };
  const test::Bytes end = test::end_record();
  test::Bytes big = test::data_record(test::Bytes(7344, 0));
  for (int i = 0; i < 6000; ++i) {
    const test::Bytes r = test::data_record(test::counting(1000, static_cast<std::uint8_t>(i)));
    big.insert(big.end(), r.begin(), r.end());
  }
  big.insert(big.end(), end.begin(), end.end());
  EXPECT_EQ(upload(big), CreateOutcome::too_large);
  test::Bytes short_image = test::data_record(test::Bytes(4096, 0));
  short_image.insert(short_image.end(), end.begin(), end.end());
  EXPECT_EQ(upload(short_image), CreateOutcome::no_partition_summary);
  const auto& said = controller.ui().messages();
  for (const char* text : {ReceiveEngine::kTooLargeText, ReceiveEngine::kNoSummaryText}) {
    EXPECT_NE(std::find(said.begin(), said.end(), text), said.end()) << text;
  }
}

// Item: the registry. Announces forged for 600 addresses fill the client table;
// a real Client started afterwards is listed all the same.
TEST_F(LabHostileLan, ForgedAnnouncesDoNotKeepARealClientOut) {
  LabNetwork net(kLastHost);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  std::vector<std::vector<std::uint8_t>> forged;
  for (int i = 0; i < 600; ++i) {
    const Ipv4Address address(10, 99, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i));
    forged.push_back(test::announce_datagram({address, "forged-" + std::to_string(i), {test::make_disk(1 << 20, 1)}}));
  }
  const auto stray = peer_in(net, kStrayHost);
  Repeating announcing(100ms, [&] {
    for (const auto& d : forged) stray->send(d, LabNetwork::address(0), wire::kControlPort);
  });
  ControllerCore& core = controller.core();
  const auto table_full = [&] {
    SemaphoreGuard hold(core.locks().client_table);
    return core.tables().client_count == kMaxClients;
  };
  for (int i = 0; i < 300 && !table_full(); ++i) {
    core.idle_pass();
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(table_full());
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(disk, 8, "start=2048, size=8192, type=83\n"));
  lab::LabProcess real = net.spawn(kLastHost, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                               LabNetwork::address(kLastHost).text(), "--name", "real"});
  EXPECT_TRUE(controller.discover({"real"}, 10s)) << real.output();
  announcing.stop();
  EXPECT_EQ(core.main_client_list().row_count(), kMaxClients) << "the list shows the table";
}

// Item: the journal. A Copy recorded while the journal's disk is full, then
// another once there is room: the first is told about, the second is whole, and
// nothing was glued to a cut line.
TEST_F(LabHostileLan, ATransferRecordedOnAFullDiskLeavesTheJournalWhole) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string small = dir.file("small");
  std::filesystem::create_directories(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "SKIPPED: no tmpfs";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{small};
  const std::string journal = small + "/transfers.jsonl";
  {
    // Earlier records fill the journal's first two pages but for 50 bytes; the
    // rest of the disk is taken.
    std::string lines;
    for (int i = 0; i < 40; ++i) lines += R"({"kind":"copy","n":)" + std::to_string(1000 + i) + "}\n";
    lines += R"({"pad":")" + std::string(8192 - 50 - lines.size() - 11, '.') + "\"}\n";
    std::ofstream(journal) << lines;
    std::ofstream filler(small + "/filler");
    while (filler << std::string(4096, 'f') && filler.flush()) {
    }
  }
  start_store_clients(net, 1);
  lab::LabController controller(net, TuningValues{}, journal);
  ASSERT_TRUE(controller.start());
  const std::string image = make_image("lab.krn", 200'000);
  ASSERT_TRUE(controller.copy(image, names).succeeded());
  const std::string warning = "The transfer journal " + journal + " could not be written (No space left on device)";
  const auto& said = controller.ui().messages();
  EXPECT_TRUE(std::any_of(said.begin(), said.end(), [&](const std::string& m) { return m.starts_with(warning); }))
      << "the transfer missing from the history is told about";

  std::filesystem::remove(small + "/filler");
  ASSERT_TRUE(controller.copy(image, names).succeeded());
  const TransferJournal::Contents contents = TransferJournal(journal).read();
  EXPECT_EQ(contents.unreadable, 0) << "no line cut, none glued";
  ASSERT_EQ(contents.records.size(), 42u) << "the earlier ones, and the one written with room again";
  EXPECT_EQ(contents.records.back()["result"], "succeeded");
}

}  // namespace
}  // namespace kestrelon
