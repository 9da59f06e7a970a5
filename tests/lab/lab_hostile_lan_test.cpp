// A hostile LAN, second round: the Controller on host 0 with reference Clients,
// and a stray host that forges what each kind of Client answer, Controller order
// or announce would carry, or a process of another user on the Controller's own
// host. Each test is one way in which a stray host could lose a copy, keep a
// Create alive, take the Controller's traffic, steer a Client, fill the list or
// the disk, or cut the journal; each ends with everything whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "app/transfer_journal.h"
#include "lab_controller.h"
#include "lab_network.h"
#include "net/byte_order.h"
#include "net/port_in_use.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "platform/udp_socket.h"
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
using lab::LabProcess;
using Steady = std::chrono::steady_clock;

constexpr int kStrayHost = 4;
constexpr int kLastHost = 5;

std::string name_of(int host) { return "host-" + std::to_string(host); }

// Sends datagrams from the stray host in a loop of its own until stopped.
class Stray {
 public:
  Stray(LabNetwork& net, int host = kStrayHost) {
    net.run_in(host, [&] {
      ok_ = socket_.open() == 0 && socket_.bind(LabNetwork::address(host), wire::kControlPort) == 0;
    });
  }
  ~Stray() { stop(); }
  bool ok() const { return ok_; }
  UdpSocket& socket() { return socket_; }
  // Runs `round` every `period` until stop().
  void start(std::chrono::milliseconds period, std::function<void(UdpSocket&)> round) {
    thread_ = std::thread([this, period, round = std::move(round)] {
      while (!stop_) {
        round(socket_);
        ++rounds_;
        std::this_thread::sleep_for(period);
      }
    });
  }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int rounds() const { return rounds_.load(); }

 private:
  UdpSocket socket_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> rounds_{0};
  std::thread thread_;
};

// Sends UDP with a source address of its choosing (a raw socket in the stray
// host): a target's answers forged on the wire.
class Spoofer {
 public:
  explicit Spoofer(LabNetwork& net) {
    net.run_in(kStrayHost, [&] { fd_ = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW); });
  }
  ~Spoofer() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void send(Ipv4Address from, Ipv4Address to, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> packet(sizeof(iphdr) + sizeof(udphdr) + payload.size());
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 16;
    ip->protocol = IPPROTO_UDP;
    ip->saddr = from.network_order();
    ip->daddr = to.network_order();  // length and checksum: filled in by the system
    auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
    udp->source = htons(wire::kControlPort);
    udp->dest = htons(wire::kControlPort);
    udp->len = htons(static_cast<std::uint16_t>(sizeof(udphdr) + payload.size()));
    std::memcpy(packet.data() + sizeof(iphdr) + sizeof(udphdr), payload.data(), payload.size());
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = to.network_order();
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  }

 private:
  int fd_ = -1;
};

class LabHostileLan : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  // Reference Clients on hosts 1..n keeping what they receive.
  void start_store_clients(LabNetwork& net, int n) {
    for (int h = 1; h <= n; ++h) {
      clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(h).text(), "--name",
                                      name_of(h), "--store", dir.file("store" + std::to_string(h)), "--store-size",
                                      "1G", "--verbose"}));
      names.push_back(name_of(h));
    }
  }
  void expect_stored(int n, const std::string& image) {
    const auto original = test::read_file(image);
    for (int h = 1; h <= n; ++h) {
      const std::string stored = dir.file("store" + std::to_string(h) + "/" + std::filesystem::path(image).filename().string());
      EXPECT_TRUE(test::read_file(stored) == original) << name_of(h) << ":\n" << clients[h - 1].output();
    }
  }
  std::string make_image(const std::string& name, std::uint64_t length) {
    const std::string path = dir.file(name);
    test::write_file(path, test::image_bytes({.length = length, .partition_count = 0}));
    return path;
  }

  test::TempDir dir;
  std::vector<LabProcess> clients;
  std::vector<std::string> names;
};

// Item: copy answers from any host. The stray names every target as done, acknowledges
// for a target, asks for block 0 again and reports a progress of terabytes, every
// few milliseconds, in the default and the fast mode.
TEST_F(LabHostileLan, AStrayHostsCopyAnswersLoseNoCopy) {
  LabNetwork net(kStrayHost);
  ASSERT_TRUE(net.ok()) << net.error();
  start_store_clients(net, 3);
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  const std::uint64_t length = 4'000'000;
  const std::string image = make_image("lab.krn", length);

  Stray stray(net);
  ASSERT_TRUE(stray.ok());
  stray.start(5ms, [](UdpSocket& s) {
    const Ipv4Address to = LabNetwork::address(0);
    for (int h = 1; h <= 3; ++h) {
      s.send_to(test::copy_done_datagram(LabNetwork::address(h)), to, wire::kControlPort);
      s.send_to(test::copy_ack_datagram(2900, LabNetwork::address(h), 4'000'000'000u, 4'000'000'000u), to,
                wire::kControlPort);
    }
    s.send_to(test::copy_nak_datagram(0, 4'000'000'000u, 4'000'000'000u), to, wire::kControlPort);
  });
  ControllerCore& core = controller.core();
  const CopyFlowResult plain = controller.copy(image, names);
  EXPECT_TRUE(plain.succeeded()) << plain.not_done << " of " << plain.targets << " not done";
  EXPECT_LE(core.transfer_stats().progress_total.load(), (length >> 10) + 1) << "progress only from targets";
  expect_stored(3, image);

  core.copy_engine().set_tuning({.fast = true});
  const std::string fast_image = make_image("fast.krn", length);
  const CopyFlowResult fast = controller.copy(fast_image, names);
  stray.stop();
  EXPECT_TRUE(fast.succeeded()) << fast.not_done << " of " << fast.targets << " not done";
  expect_stored(3, fast_image);
  std::printf("[ measure  ] %d rounds of forged answers; %llu dropped; copies took %.1f s and %.1f s\n",
              stray.rounds(), static_cast<unsigned long long>(core.copy_engine().stray_answers()), plain.seconds,
              fast.seconds);
  EXPECT_GT(core.copy_engine().stray_answers(), 100u);
}

// Counts the copy's data on the wire, as any host on the LAN sees it.
class DataWatch {
 public:
  explicit DataWatch(LabNetwork& net) {
    net.run_in(kLastHost, [&] {
      peer_ = std::make_unique<test::UdpPeer>(LabNetwork::address(kLastHost), wire::kDataPort, wire::kDataGroup);
      peer_->socket().set_receive_buffer(8 << 20);
    });
    thread_ = std::thread([this] {
      while (!stop_) {
        if (const auto r = peer_->receive(20); r && r->bytes.size() == wire::kCopyDataLength) {
          bytes_ += read_be16(r->bytes, 12);
        }
      }
    });
  }
  ~DataWatch() {
    stop_ = true;
    thread_.join();
  }
  std::uint64_t bytes() const { return bytes_.load(); }

 private:
  std::unique_ptr<test::UdpPeer> peer_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> bytes_{0};
  std::thread thread_;
};

// Item: a rate cap that holds. Resend requests forged in a target's name, as fast as
// the stray host can send them, during a capped fast copy.
TEST_F(LabHostileLan, AForgedResendFloodNeverTakesACappedCopyPastItsCap) {
  LabNetwork net(kLastHost);
  ASSERT_TRUE(net.ok()) << net.error();
  start_store_clients(net, 3);
  constexpr int kCapMBs = 5;
  lab::LabController controller(net, TuningValues{.fast_copy = 1, .rate_cap_mbs = kCapMBs});
  ASSERT_TRUE(controller.start());
  const std::string image = make_image("capped.krn", 10'000'000);
  Spoofer spoofer(net);
  ASSERT_TRUE(spoofer.ok());
  DataWatch watch(net);

  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> forged{0};
  std::uint64_t flood_bytes = 0;
  double flood_seconds = 0;
  CopyEngine& engine = controller.core().copy_engine();
  std::thread flood([&] {
    while (!stop && engine.next_block() < 200) std::this_thread::sleep_for(1ms);
    const std::uint64_t before = watch.bytes();
    const auto started = Steady::now();
    for (std::uint32_t n = 0; !stop && Steady::now() - started < 4s; ++n) {
      const std::int32_t next = engine.next_block();
      spoofer.send(LabNetwork::address(1 + n % 3), LabNetwork::address(0),
                   test::copy_nak_datagram(static_cast<std::uint32_t>(n * 7919 % std::max(next, 1)), 0, 0));
      ++forged;
      if (n % 16 == 15) std::this_thread::sleep_for(1ms);
    }
    flood_bytes = watch.bytes() - before;
    flood_seconds = std::chrono::duration<double>(Steady::now() - started).count();
  });
  const CopyFlowResult result = controller.copy(image, names);
  stop = true;
  flood.join();
  const double flood_rate = flood_seconds > 0 ? static_cast<double>(flood_bytes) / flood_seconds / 1e6 : 0;
  std::printf("[ measure  ] %llu forged resend requests over %.1f s: %.2f MB/s sent against a %d MB/s cap; "
              "copy %.1f s\n",
              static_cast<unsigned long long>(forged.load()), flood_seconds, flood_rate, kCapMBs, result.seconds);
  EXPECT_TRUE(result.succeeded()) << result.not_done << " of " << result.targets << " not done";
  expect_stored(3, image);
  ASSERT_GT(flood_seconds, 1.0) << "the flood ran while the copy did";
  // The cap, and the bucket of a few milliseconds it may send at once.
  EXPECT_LE(flood_rate, kCapMBs * 1.1 + 0.05 / flood_seconds);
}

// Item: another local user takes the Controller's unicast traffic. A process of
// another user on the Controller's host binds its address and port with address
// reuse; and one that holds the port makes start-up name the port, not a
// Controller.
TEST_F(LabHostileLan, AnotherUsersProcessCannotShareTheControllersPort) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  // Forked inside host 0: binds 10.47.0.1:4747 as user "nobody"; exits 0 when
  // the bind worked. With `hold`, it keeps the port until killed.
  const auto other_user = [&](bool reuse, bool hold, int ready_fd) {
    pid_t pid = -1;
    net.run_in(0, [&] {
      pid = ::fork();
      if (pid != 0) return;
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
      const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
      const int on = 1;
      if (reuse) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_port = htons(wire::kControlPort);
      sa.sin_addr.s_addr = LabNetwork::address(0).network_order();
      const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
      if (hold && bound) {
        const char byte = 1;
        if (::write(ready_fd, &byte, 1) != 1) ::_exit(3);
        ::pause();
      }
      ::_exit(bound ? 0 : 1);
    });
    return pid;
  };
  const auto status_of = [](pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };

  {
    lab::LabController controller(net);
    ASSERT_TRUE(controller.start());
    EXPECT_EQ(status_of(other_user(true, false, -1)), 1) << "the port is the Controller's alone";
  }

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = other_user(false, true, ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  {
    lab::LabController controller(net);
    EXPECT_FALSE(controller.start());
    EXPECT_EQ(controller.ui().messages(), std::vector<std::string>{port_in_use_text(LabNetwork::address(0))});
    EXPECT_NE(controller.ui().messages().front().find("Port 4747 on 10.47.0.1 is in use"), std::string::npos);
  }
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

// Item: the reference Client obeys any host. During a Create the stray refuses block
// 0 and aborts in the Controller's name from its own address; during a Copy it
// aborts on the data group and to the Client; and it asks for an announce to be
// sent to a third host.
TEST_F(LabHostileLan, TheReferenceClientObeysOnlyTheControllerOfItsTransfer) {
  LabNetwork net(kLastHost);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(disk, 16, "start=2048, size=20480, type=83\n"));
  ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 3 << 20, 11, false));
  clients.push_back(net.spawn(1, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address", LabNetwork::address(1).text(),
                                  "--name", name_of(1), "--store", dir.file("store1"), "--verbose"}));
  names.push_back(name_of(1));
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  Stray stray(net);
  ASSERT_TRUE(stray.ok());
  stray.start(10ms, [](UdpSocket& s) {
    const Ipv4Address client = LabNetwork::address(1);
    s.send_to(wire::build_create_nak(0), client, wire::kControlPort);
    s.send_to(wire::build_abort(), client, wire::kControlPort);
    s.send_to(wire::build_abort(), wire::kDataGroup, wire::kDataPort);
  });

  const std::string created = dir.file("created.krn");
  const CreateFlowResult create = controller.create(name_of(1), created, "steady", 0);
  EXPECT_TRUE(create.completed()) << clients[0].output();
  const CopyFlowResult copy = controller.copy(created, names);
  EXPECT_TRUE(copy.succeeded()) << clients[0].output();
  stray.stop();
  expect_stored(1, created);

  // A discovery request that names a third host as the one to answer.
  std::unique_ptr<test::UdpPeer> victim;
  net.run_in(kLastHost, [&] { victim = std::make_unique<test::UdpPeer>(LabNetwork::address(kLastHost), 9999); });
  ASSERT_TRUE(victim->ok());
  auto request = wire::build_discover(LabNetwork::address(kLastHost));
  request[12] = 9999 >> 8;  // the reply port
  request[13] = 9999 & 0xFF;
  stray.socket().send_to(request, LabNetwork::address(1), wire::kControlPort);
  EXPECT_FALSE(victim->receive(1000)) << "no announce to the host the request names";
  pollfd p{stray.socket().fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 1000), 1) << "the announce goes to the host that asked";
  std::array<std::uint8_t, 2048> buffer;
  const ReceiveResult answer = stray.socket().receive(buffer);
  ASSERT_EQ(answer.status, ReceiveResult::Status::datagram);
  EXPECT_EQ(answer.from, LabNetwork::address(1));
  EXPECT_EQ(wire::opcode_of(std::span(buffer.data(), answer.length)), wire::OP_ANNOUNCE);
}

// Item: upload bounds. A Client (scripted on host 1) that announces a disk with one
// partition of 1 MiB, and then sends a wrong block for ever, 6 MB of data, or
// an image too short for a partition summary.
TEST_F(LabHostileLan, AnUploaderGetsNoMoreThanItsDiskCanHold) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net, TuningValues{.create_inactivity_ms = 1500});
  ASSERT_TRUE(controller.start());
  const Ipv4Address uploader = LabNetwork::address(1);
  test::AnnounceSpec spec;
  spec.address = uploader;
  spec.name = "uploader";
  spec.disks.push_back(test::make_disk(1 << 20, 1, 2048));  // one partition of 2048 sectors
  std::unique_ptr<test::ScriptedAnnouncer> announcer;
  net.run_in(1, [&] { announcer = std::make_unique<test::ScriptedAnnouncer>(uploader, std::vector{spec}); });
  ASSERT_TRUE(announcer->ok());

  // A wrong block number, again and again, whatever the Controller answers.
  {
    std::unique_ptr<test::UdpPeer> peer;
    net.run_in(1, [&] { peer = std::make_unique<test::UdpPeer>(uploader, wire::kControlPort); });
    std::atomic<bool> stop{false};
    std::atomic<bool> still_sending{true};
    std::thread stubborn([&] {
      const auto until = Steady::now() + 15s;
      while (!stop && Steady::now() < until) {
        peer->send(test::create_data_datagram(7, test::counting(1000), 0, 0), LabNetwork::address(0),
                   wire::kControlPort);
        std::this_thread::sleep_for(20ms);
      }
      still_sending = false;
    });
    const CreateFlowResult r = controller.create("uploader", dir.file("stubborn.krn"), "", 0);
    const bool ended_while_sending = still_sending.load();
    stop = true;
    stubborn.join();
    EXPECT_EQ(r.outcome, CreateOutcome::silent);
    EXPECT_TRUE(ended_while_sending) << "refused blocks do not keep a Create alive";
  }

  const auto upload = [&](const test::Bytes& stream) {
    std::unique_ptr<test::ScriptedUploader> client;
    net.run_in(1, [&] { client = std::make_unique<test::ScriptedUploader>(uploader, LabNetwork::address(0)); });
    client->start({.stream = stream, .packet = 1300});
    std::filesystem::create_directories(dir.file("uploads"));
    const std::string out = dir.file("uploads/upload.krn");
    const CreateFlowResult r = controller.create("uploader", out, "", 0);
    client->join();
    EXPECT_FALSE(std::filesystem::exists(out)) << "nothing kept";
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("uploads"))) << "no temporary file left either";
    return r.outcome;
  };
  test::Bytes big = test::data_record(test::Bytes(7344, 0));
  for (int i = 0; i < 6000; ++i) {
    const test::Bytes r = test::data_record(test::counting(1000, static_cast<std::uint8_t>(i)));
    big.insert(big.end(), r.begin(), r.end());
  }
  const test::Bytes end = test::end_record();
  big.insert(big.end(), end.begin(), end.end());
  EXPECT_EQ(upload(big), CreateOutcome::too_large);

  test::Bytes short_image = test::data_record(test::Bytes(4096, 0));
  short_image.insert(short_image.end(), end.begin(), end.end());
  EXPECT_EQ(upload(short_image), CreateOutcome::no_partition_summary);
  const auto& said = controller.ui().messages();
  EXPECT_NE(std::find(said.begin(), said.end(), ReceiveEngine::kTooLargeText), said.end());
  EXPECT_NE(std::find(said.begin(), said.end(), ReceiveEngine::kNoSummaryText), said.end());
}

// Item: the registry. Announces forged for 600 addresses fill the client table; a
// real Client started afterwards is listed all the same.
TEST_F(LabHostileLan, ForgedAnnouncesDoNotKeepARealClientOut) {
  LabNetwork net(kLastHost);
  ASSERT_TRUE(net.ok()) << net.error();
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  Stray stray(net);
  ASSERT_TRUE(stray.ok());
  std::vector<std::vector<std::uint8_t>> forged;
  for (int i = 0; i < 600; ++i) {
    forged.push_back(test::announce_datagram(
        {Ipv4Address(10, 99, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)), "forged-" + std::to_string(i),
         {test::make_disk(1 << 20, 1)}}));
  }
  stray.start(100ms, [&forged](UdpSocket& s) {
    for (const auto& d : forged) s.send_to(d, LabNetwork::address(0), wire::kControlPort);
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
  LabProcess real = net.spawn(kLastHost, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                          LabNetwork::address(kLastHost).text(), "--name", "real"});
  EXPECT_TRUE(controller.discover({"real"}, 10s)) << real.output();
  stray.stop();
  EXPECT_EQ(core.main_client_list().row_count(), kMaxClients) << "the list shows the table";
}

// Item: the journal. A Copy recorded while the journal's disk is full, then another
// once there is room: the first is told about, the second is whole, and nothing
// was glued to a cut line.
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
    std::ofstream out(journal);
    std::string lines;
    for (int i = 0; i < 40; ++i) lines += R"({"kind":"copy","n":)" + std::to_string(1000 + i) + "}\n";
    const std::string head = R"({"pad":")";
    lines += head + std::string(8192 - 50 - lines.size() - head.size() - 3, '.') + "\"}\n";
    out << lines;
  }
  {
    std::ofstream filler(small + "/filler");
    const std::string block(4096, 'f');
    while (filler << block && filler.flush()) {
    }
  }
  start_store_clients(net, 1);
  lab::LabController controller(net, TuningValues{}, journal);
  ASSERT_TRUE(controller.start());
  const std::string image = make_image("lab.krn", 200'000);
  ASSERT_TRUE(controller.copy(image, names).succeeded());
  const auto said = controller.ui().messages();
  const std::string warning = "The transfer journal " + journal + " could not be written (No space left on device)";
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
