// Discovery across the lab: a Controller-side socket on host 0 multicasts
// OP_DISCOVER; kestrelon-client programs on the other hosts answer by unicast.
// Also measures how fast 512 emulated Clients on one host all announce.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <map>
#include <thread>

#include "lab_network.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "platform/udp_socket.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

// A Controller-side socket on host 0: bound to the host's address and port 4747,
// multicasting on its interface, with room for a burst of announces.
struct ControllerSocket {
  UdpSocket socket;
  bool open(LabNetwork& net) {
    bool ok = false;
    net.run_in(0, [&] {
      ok = socket.open() == 0 && socket.bind(LabNetwork::address(0), wire::kControlPort) == 0 &&
           socket.set_multicast_interface(LabNetwork::address(0)) == 0;
      const int size = 8 << 20;
      ::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
    });
    return ok;
  }
  void discover() {
    socket.send_to(wire::build_discover(LabNetwork::address(0)), wire::kControlGroup, wire::kControlPort);
  }
  // Announces heard until `expected` distinct Clients answered or `limit` passed.
  std::map<Ipv4Address, wire::Announce> collect(std::size_t expected, std::chrono::milliseconds limit,
                                                std::chrono::milliseconds repeat = 1000ms) {
    std::map<Ipv4Address, wire::Announce> seen;
    const auto start = std::chrono::steady_clock::now();
    auto next_request = start;
    std::array<std::uint8_t, 2048> buf;
    socket.set_nonblocking(true);
    while (seen.size() < expected && std::chrono::steady_clock::now() - start < limit) {
      if (std::chrono::steady_clock::now() >= next_request) {
        discover();
        next_request += repeat;
      }
      const ReceiveResult r = socket.receive(buf);
      if (r.status != ReceiveResult::Status::datagram) {
        std::this_thread::sleep_for(1ms);
        continue;
      }
      if (const auto a = wire::decode_announce(std::span(buf.data(), r.length)); a && a->address == r.from) {
        seen[a->address] = *a;
      }
    }
    return seen;
  }
};

class LabDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_LAB();
    disk = dir.file("disk.img");
    ASSERT_TRUE(test::make_virtual_disk(disk, 64, test::mixed_layout_script()));
  }
  test::TempDir dir;
  std::string disk;
};

TEST_F(LabDiscovery, ClientsOnOtherHostsAnswer) {
  LabNetwork net(3);
  ASSERT_TRUE(net.ok()) << net.error();
  std::vector<lab::LabProcess> clients;
  for (int h = 1; h <= 3; ++h) {
    clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--disk", disk, "--name", "host-" + std::to_string(h),
                                    "--address", LabNetwork::address(h).text()}));
  }
  ControllerSocket controller;
  ASSERT_TRUE(controller.open(net));
  const auto seen = controller.collect(3, 5000ms, 300ms);
  ASSERT_EQ(seen.size(), 3u) << clients[0].output();
  for (int h = 1; h <= 3; ++h) {
    const auto it = seen.find(LabNetwork::address(h));
    ASSERT_NE(it, seen.end()) << "host " << h << ": " << clients[static_cast<std::size_t>(h - 1)].output();
    EXPECT_EQ(it->second.name_text(), "host-" + std::to_string(h));
    EXPECT_EQ(it->second.disk_count, 1);
    EXPECT_EQ(it->second.disks[0].partition_count, 4);
  }
  for (auto& c : clients) {
    EXPECT_TRUE(c.running()) << c.output();
    c.kill();
    EXPECT_EQ(c.wait(1000ms), 0) << "a client ends with status 0 on SIGTERM";
  }
}

TEST_F(LabDiscovery, LossOnAClientHostHidesItSometimes) {
  LabNetwork net(2);
  ASSERT_TRUE(net.ok()) << net.error();
  ASSERT_TRUE(net.set_loss(2, 100));
  auto a = net.spawn(1, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address", LabNetwork::address(1).text()});
  auto b = net.spawn(2, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address", LabNetwork::address(2).text()});
  ControllerSocket controller;
  ASSERT_TRUE(controller.open(net));
  auto seen = controller.collect(2, 1500ms, 300ms);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen.count(LabNetwork::address(1)));
  ASSERT_TRUE(net.set_loss(2, 0));
  seen = controller.collect(2, 3000ms, 300ms);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(LabDiscovery, FiveHundredTwelveEmulatedClientsAnnounce) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  const Ipv4Address first(LabNetwork::address_block(1).value() + 1);
  auto clients = net.spawn(1, {KESTRELON_CLIENT_PATH, "--disk", disk, "--name", "room", "--count", "512",
                               "--address-from", first.text()});
  ControllerSocket controller;
  ASSERT_TRUE(controller.open(net));
  // Wait until the program listens: one Client answers.
  ASSERT_FALSE(controller.collect(1, 5000ms, 100ms).empty()) << clients.output();
  std::this_thread::sleep_for(300ms);
  std::array<std::uint8_t, 2048> drain;
  while (controller.socket.receive(drain).status == ReceiveResult::Status::datagram) {
  }
  // One request; how long until all 512 have answered it?
  const auto start = std::chrono::steady_clock::now();
  const auto seen = controller.collect(512, 3000ms, 10000ms);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("[ measure  ] %zu of 512 emulated Clients announced after one request, in %lld ms\n", seen.size(),
              static_cast<long long>(took.count()));
  EXPECT_EQ(seen.size(), 512u) << clients.output();
  EXPECT_EQ(seen.rbegin()->second.name_text(), "room-512");
}

}  // namespace
}  // namespace kestrelon
