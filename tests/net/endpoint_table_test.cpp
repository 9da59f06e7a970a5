// Interface endpoints and their receive threads over real UDP sockets on
// loopback (a private network namespace with multicast).
#include "net/endpoint_table.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "net/program_locks.h"
#include "net/wire_format.h"
#include "support/datagrams.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/udp_peer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kLo1(127, 0, 0, 1);
const Ipv4Address kLo2(127, 0, 0, 2);
const Ipv4Address kPeerAddress(127, 0, 0, 50);

AddressSource addresses(std::vector<Ipv4Address> list) {
  return [list] { return AddressList{0, list}; };
}

// Counts announces and lets a test wait for them.
struct AnnounceCounter : AnnounceHandler {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::pair<std::string, int>> seen;
  std::atomic<int> inside{0};
  std::atomic<int> most_inside{0};
  std::atomic<int> dwell_ms{0};  // set by the test while the receive threads run

  void on_announce(const wire::Announce& a, int endpoint, Ipv4Address) override {
    const int now_inside = ++inside;
    most_inside = std::max(most_inside.load(), now_inside);
    std::this_thread::sleep_for(std::chrono::milliseconds(dwell_ms.load()));
    --inside;
    std::lock_guard lock(m);
    seen.emplace_back(a.name_text(), endpoint);
    cv.notify_all();
  }
  bool wait_for(std::size_t n, std::chrono::milliseconds limit = 3000ms) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, limit, [&] { return seen.size() >= n; });
  }
  std::size_t count() {
    std::lock_guard lock(m);
    return seen.size();
  }
};

std::vector<std::uint8_t> announce_named(const std::string& name) {
  test::AnnounceSpec s;
  s.address = kPeerAddress;
  s.name = name;
  return test::announce_datagram(s);
}

class EndpointTableTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }
  void start(const std::vector<Ipv4Address>& list, const std::string& disabled = "", int ttl = 1) {
    table = std::make_unique<EndpointTable>(dispatcher, ui, ttl);
    ASSERT_TRUE(table->start_network(disabled, addresses(list)));
  }
  void TearDown() override {
    if (table) table->close_all();
  }

  test::RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard board{ui};
  ReceiveDispatcher dispatcher{locks.receive, board};
  std::unique_ptr<EndpointTable> table;
};

TEST_F(EndpointTableTest, SendToAllSkipsADisabledInterfaceAndSendToIndexDoesNot) {
  start({kLo1, kLo2}, "127.000.000.002;");
  ASSERT_EQ(table->open_count(), 2);
  EXPECT_FALSE(table->disabled(0));
  EXPECT_TRUE(table->disabled(1));

  test::UdpPeer listener(kLo1, wire::kControlPort, wire::kControlGroup);
  ASSERT_TRUE(listener.ok());
  const auto discover = wire::build_discover(Ipv4Address());

  EXPECT_EQ(table->send(EndpointTable::kAllInterfaces, discover, wire::kControlGroup, wire::kControlPort), 18);
  auto got = listener.receive_all(300);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].from, kLo1);
  EXPECT_EQ(Ipv4Address(got[0].bytes[8], got[0].bytes[9], got[0].bytes[10], got[0].bytes[11]), kLo1)
      << "OP_DISCOVER carries the address of the interface it leaves by";

  EXPECT_EQ(table->send(1, discover, wire::kControlGroup, wire::kControlPort), 18);
  got = listener.receive_all(300);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].from, kLo2);
  EXPECT_EQ(Ipv4Address(got[0].bytes[8], got[0].bytes[9], got[0].bytes[10], got[0].bytes[11]), kLo2);

  table->set_disabled(1, false);
  table->send(EndpointTable::kAllInterfaces, discover, wire::kControlGroup, wire::kControlPort);
  got = listener.receive_all(300);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_NE(got[0].bytes[11], got[1].bytes[11]) << "each copy names its own interface";
}

TEST_F(EndpointTableTest, UnicastToAClientLeavesUnchanged) {
  start({kLo1});
  test::UdpPeer client(kPeerAddress, 4999);
  ASSERT_TRUE(client.ok());
  const auto ack = wire::build_create_ack(77);
  EXPECT_EQ(table->send(0, ack, kPeerAddress, 4999), 16);
  const auto got = client.receive(1000);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, std::vector<std::uint8_t>(ack.begin(), ack.end()));
  EXPECT_EQ(got->from, kLo1);
  EXPECT_EQ(got->from_port, wire::kControlPort);
  EXPECT_EQ(table->send(5, ack, kPeerAddress, 4999), 0) << "no such endpoint";
}

TEST_F(EndpointTableTest, ARunLeavesAsTheSameDatagramsWhetherOrNotTheSystemCutsIt) {
  start({kLo1});
  test::UdpPeer client(kPeerAddress, 4999);
  ASSERT_TRUE(client.ok());
  // The system cuts at most 64 (newer kernels 128) datagrams from one call: a
  // run of 200 is refused that way and goes one by one, as does every run after.
  for (const std::size_t count : {5u, 200u, 3u}) {
    std::vector<std::uint8_t> run(count * 20 - 7);
    for (std::size_t i = 0; i < run.size(); ++i) run[i] = static_cast<std::uint8_t>(i * 13 + count);
    EXPECT_EQ(table->send_run(0, run, 20, kPeerAddress, 4999), static_cast<int>(count));
    const auto got = client.receive_all(100);
    ASSERT_EQ(got.size(), count) << count;
    for (std::size_t i = 0; i < count; ++i) {
      const auto from = run.begin() + static_cast<long>(i * 20);
      const auto to = i + 1 == count ? run.end() : from + 20;
      EXPECT_EQ(got[i].bytes, std::vector<std::uint8_t>(from, to)) << count << ": datagram " << i;
    }
  }
  EXPECT_EQ(table->send_run(3, std::vector<std::uint8_t>(40), 20, kPeerAddress, 4999), 0) << "no such endpoint";
}

TEST_F(EndpointTableTest, AFailedAddressGivesItsSlotToTheNextAndFlagsFollowAddresses) {
  const Ipv4Address not_local(10, 255, 255, 1);
  const Ipv4Address lo5(127, 0, 0, 5), lo50(127, 0, 0, 50);
  start({not_local, lo5, lo50}, "127.000.000.005;");
  EXPECT_EQ(table->address_count(), 3);
  EXPECT_EQ(table->open_count(), 2);
  EXPECT_EQ(table->opened_endpoints(), 2);
  EXPECT_EQ(table->address(0), lo5);
  EXPECT_EQ(table->address(1), lo50);
  EXPECT_TRUE(table->disabled(0));
  EXPECT_FALSE(table->disabled(1)) << "127.000.000.050 does not contain 127.000.000.005";
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"Error setting up TCP/IP (Is is installed?) : bind(99)"});
  EXPECT_EQ(table->disabled_interfaces_text(), "127.000.000.005;");
}

int int_option(int fd, int option) {
  int value = -1;
  socklen_t len = sizeof value;
  if (option == IP_MULTICAST_IF) {
    in_addr a{};
    len = sizeof a;
    getsockopt(fd, IPPROTO_IP, option, &a, &len);
    return static_cast<int>(ntohl(a.s_addr));
  }
  getsockopt(fd, IPPROTO_IP, option, &value, &len);
  return value;
}

TEST_F(EndpointTableTest, MulticastLeavesThroughEachEndpointsOwnInterface) {
  start({kLo1});
  EXPECT_EQ(static_cast<std::uint32_t>(int_option(table->socket_descriptor(0), IP_MULTICAST_IF)), kLo1.value());
  table->close_all();
  start({kLo1, kLo2});
  EXPECT_EQ(static_cast<std::uint32_t>(int_option(table->socket_descriptor(0), IP_MULTICAST_IF)), kLo1.value());
  EXPECT_EQ(static_cast<std::uint32_t>(int_option(table->socket_descriptor(1), IP_MULTICAST_IF)), kLo2.value());
}

TEST_F(EndpointTableTest, MulticastTimeToLiveComesFromTheTuningValue) {
  start({kLo1, kLo2}, "", 4);
  EXPECT_EQ(int_option(table->socket_descriptor(0), IP_MULTICAST_TTL), 4);
  EXPECT_EQ(int_option(table->socket_descriptor(1), IP_MULTICAST_TTL), 4);
}

TEST_F(EndpointTableTest, NoAddressesMeansNoNetwork) {
  table = std::make_unique<EndpointTable>(dispatcher, ui, 1);
  EXPECT_FALSE(table->start_network("", [] { return AddressList{0, {}}; }));
  EXPECT_FALSE(table->start_network("", [] { return AddressList{19, {}}; }));
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{"Invalid or missing TCP/IP configuration (0)",
                                                     "Invalid or missing TCP/IP configuration (19)"}));
}

class ReceiveThreadTest : public EndpointTableTest {
 protected:
  void SetUp() override {
    EndpointTableTest::SetUp();
    if (IsSkipped()) return;
    dispatcher.set_announce_handler(&counter);
    start({kLo1, kLo2});
    ASSERT_TRUE(peer.ok());
  }
  void send_to(Ipv4Address endpoint, std::span<const std::uint8_t> bytes) {
    peer.send(bytes, endpoint, wire::kControlPort);
  }

  AnnounceCounter counter;
  test::UdpPeer peer{kPeerAddress, 5000};
};

TEST_F(ReceiveThreadTest, ForeignAndUnknownDatagramsPostMessagesWhileReceptionGoesOn) {
  const std::vector<std::uint8_t> foreign = {'G', 'E', 'T', ' ', '/'};
  send_to(kLo1, foreign);
  send_to(kLo1, test::client_header(17, 8));
  send_to(kLo2, announce_named("still-heard"));
  send_to(kLo1, announce_named("also-heard"));
  ASSERT_TRUE(counter.wait_for(2)) << "valid datagrams after the bad ones are handled at once";
  EXPECT_TRUE(ui.messages().empty()) << "nothing was shown on a receive thread";
  ui.run_posted();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{"Magic cookie is wrong",
                                                     "Received unknown opcode (17) packet version (8)\n"}));
}

TEST_F(ReceiveThreadTest, EmptyDatagramsLeaveTheirInterfaceReceiving) {
  // Anyone on the network can send an empty datagram; the interface must still
  // hear the Clients afterwards.
  send_to(kLo1, {});
  send_to(kLo1, {});
  for (int i = 0; i < 300 && dispatcher.count(ReceiveDispatcher::Outcome::empty) < 2; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(dispatcher.count(ReceiveDispatcher::Outcome::empty), 2u);
  EXPECT_EQ(locks.receive.count(), 1) << "the receive lock is free afterwards";

  send_to(kLo1, announce_named("after-empty"));
  send_to(kLo2, announce_named("other-interface"));
  ASSERT_TRUE(counter.wait_for(2)) << "an empty datagram ended a receive thread";
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(ReceiveThreadTest, DatagramsArrivingTogetherOnTwoInterfacesAreHandledOneAfterTheOther) {
  counter.dwell_ms = 50;
  for (int i = 0; i < 4; ++i) {
    send_to(kLo1, announce_named("a"));
    send_to(kLo2, announce_named("b"));
  }
  ASSERT_TRUE(counter.wait_for(8));
  EXPECT_EQ(counter.most_inside.load(), 1);
}

TEST_F(ReceiveThreadTest, ShutdownWakesIdleThreadsQuickly) {
  // With a long limit, a thread that was not woken would hold shutdown for all of it.
  const auto t0 = std::chrono::steady_clock::now();
  table->close_all(60s);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 30s) << "idle receive threads were woken, not waited out";
  EXPECT_EQ(table->open_count(), 0);
  EXPECT_EQ(table->send(EndpointTable::kAllInterfaces, wire::build_abort(), kPeerAddress, 5000), 0);
}

TEST_F(ReceiveThreadTest, AThreadStuckInAHandlerDoesNotStopShutdown) {
  // The handler waits for a lock the test holds, as one would wait for the client
  // table lock during a modal dialog.
  Semaphore gate(0, 1);
  struct Stuck : AnnounceHandler {
    Semaphore& gate;
    std::atomic<bool> entered{false};
    explicit Stuck(Semaphore& g) : gate(g) {}
    void on_announce(const wire::Announce&, int, Ipv4Address) override {
      entered = true;
      gate.acquire();
    }
  } stuck(gate);
  dispatcher.set_announce_handler(&stuck);
  send_to(kLo1, announce_named("x"));
  for (int i = 0; i < 300 && !stuck.entered; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(stuck.entered);

  const auto t0 = std::chrono::steady_clock::now();
  table->close_all(300ms);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 30s) << "the stuck thread was left behind after the limit";
  gate.release();  // let the left-behind thread finish before the dispatcher goes
  for (int i = 0; i < 300 && locks.receive.count() == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(locks.receive.count(), 1);
  std::this_thread::sleep_for(50ms);
}

}  // namespace
}  // namespace kestrelon
