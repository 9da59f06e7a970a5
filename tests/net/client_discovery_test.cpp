// The Client program in this process answers discovery requests sent to the
// control group with announces to the requesting address, one per emulated
// Client, and its fault plan can silence it.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "client_runtime.h"
#include "disk_set.h"
#include "running_client.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "support/private_network.h"
#include "support/udp_peer.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {
namespace {

const Ipv4Address kController(127, 0, 0, 1);

class ClientDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    disk = dir.file("disk.img");
    ASSERT_TRUE(test::make_virtual_disk(disk, 64, test::mixed_layout_script()));
  }
  // Sends one discovery request and collects announces, keyed by address.
  std::map<Ipv4Address, wire::Announce> discover(test::UdpPeer& controller, std::size_t expected,
                                                 int quiet_ms = 300) {
    const auto request = wire::build_discover(kController);
    controller.send(request, wire::kControlGroup, wire::kControlPort);
    std::map<Ipv4Address, wire::Announce> seen;
    while (seen.size() < expected) {
      const auto r = controller.receive(quiet_ms);
      if (!r) break;
      const auto a = wire::decode_announce(r->bytes);
      if (!a) continue;
      EXPECT_EQ(r->from, a->address) << "announce sent from another address than it names";
      EXPECT_EQ(r->from_port, wire::kControlPort);
      seen[a->address] = *a;
    }
    return seen;
  }
  test::TempDir dir;
  std::string disk;
};

TEST_F(ClientDiscovery, AnUnnamedClientKeepsToLoopbackAndAStoreAnnouncesItsRoom) {
  ClientOptions unnamed;
  unnamed.disks = {disk};
  std::string error;
  {
    const auto runtime = ClientRuntime::create(unnamed, &error);
    ASSERT_TRUE(runtime) << error;
    EXPECT_EQ(runtime->addresses(), std::vector<Ipv4Address>{Ipv4Address(127, 0, 0, 1)})
        << "no address named: this machine only, never the first address of a real network";
  }
  ClientOptions on_loopback = unnamed;
  on_loopback.interface_name = "lo";
  {
    const auto runtime = ClientRuntime::create(on_loopback, &error);
    ASSERT_TRUE(runtime) << error;
    EXPECT_EQ(runtime->addresses(), std::vector<Ipv4Address>{Ipv4Address(127, 0, 0, 1)});
  }

  // A Client that keeps copies in a folder announces an empty disk of the size
  // given, so the Controller's space check lets images of up to that size through;
  // having no device, it is never read.
  DiskSet store;
  ASSERT_TRUE(store.load({disk}, &error)) << error;
  store.add_store_disk(1u << 21);
  ASSERT_EQ(store.entries().size(), 2u);
  EXPECT_EQ(store.entries()[1].bios_number, 0x81);
  EXPECT_EQ(store.entries()[1].size_sectors, 1u << 21);
  EXPECT_EQ(store.entries()[1].partition_count, 0);
  EXPECT_EQ(store.disks().size(), 1u);
  EXPECT_FALSE(store.refresh(1, &error));
}

TEST_F(ClientDiscovery, AnnouncesItsDisksToTheRequester) {
  ClientOptions o;
  o.disks = {disk, disk};
  o.name = "bench-07";
  o.address = Ipv4Address(127, 0, 0, 5);
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  test::UdpPeer controller(kController, wire::kControlPort);
  ASSERT_TRUE(controller.ok());
  const auto seen = discover(controller, 1);
  ASSERT_EQ(seen.size(), 1u);
  const wire::Announce& a = seen.begin()->second;
  EXPECT_EQ(a.address, Ipv4Address(127, 0, 0, 5));
  EXPECT_EQ(a.name_text(), "bench-07");
  ASSERT_EQ(a.disk_count, 2);
  EXPECT_EQ(a.disks[0].bios_number, 0x80);
  EXPECT_EQ(a.disks[1].bios_number, 0x81);
  EXPECT_EQ(a.disks[0].size_sectors, 64u * 2048);
  ASSERT_EQ(a.disks[0].partition_count, 4);
  const PartitionEntry& first = a.disks[0].partitions[0];
  EXPECT_EQ(first.number, 1);
  EXPECT_EQ(first.boot, 0x80);
  EXPECT_EQ(first.type, 0x83);
  EXPECT_EQ(first.logical, 0);
  EXPECT_EQ(first.size_sectors, 16384u);
  const PartitionEntry& logical = a.disks[0].partitions[3];
  EXPECT_EQ(logical.number, 6);
  EXPECT_EQ(logical.type, 0x82);
  EXPECT_EQ(logical.logical, 1);
  // Every request is answered.
  EXPECT_EQ(discover(controller, 1).size(), 1u);
}

TEST_F(ClientDiscovery, EmulatedClientsAnswerEachWithItsOwnAddress) {
  ClientOptions o;
  o.disks = {disk};
  o.name = "room";
  o.count = 40;
  o.address_from = Ipv4Address(127, 0, 1, 250);  // runs across an octet boundary
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  test::UdpPeer controller(kController, wire::kControlPort);
  const auto seen = discover(controller, 40);
  ASSERT_EQ(seen.size(), 40u);
  EXPECT_EQ(seen.begin()->second.name_text(), "room-001");
  EXPECT_EQ(seen.rbegin()->first, Ipv4Address(127, 0, 2, 33));
  EXPECT_EQ(seen.rbegin()->second.name_text(), "room-040");
}

TEST_F(ClientDiscovery, TwoClientProgramsShareTheHost) {
  ClientOptions a, b;
  a.disks = b.disks = {disk};
  a.name = "left";
  b.name = "right";
  a.address = Ipv4Address(127, 0, 0, 21);
  b.address = Ipv4Address(127, 0, 0, 22);
  RunningClient left(a), right(b);
  ASSERT_TRUE(left.ok() && right.ok());
  test::UdpPeer controller(kController, wire::kControlPort);
  EXPECT_EQ(discover(controller, 2).size(), 2u);
}

TEST_F(ClientDiscovery, DroppedAnswersAreNotSent) {
  ClientOptions o;
  o.disks = {disk};
  o.address = Ipv4Address(127, 0, 0, 9);
  o.faults.drop_out = 100;
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  test::UdpPeer controller(kController, wire::kControlPort);
  EXPECT_TRUE(discover(controller, 1, 200).empty());
}

TEST_F(ClientDiscovery, StrayDatagramsAreIgnored) {
  ClientOptions o;
  o.disks = {disk};
  o.address = Ipv4Address(127, 0, 0, 11);
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  test::UdpPeer controller(kController, wire::kControlPort);
  const std::vector<std::uint8_t> junk = {1, 2, 3};
  controller.send(junk, wire::kControlGroup, wire::kControlPort);
  controller.send(junk, Ipv4Address(127, 0, 0, 11), wire::kControlPort);
  auto zero_reply = wire::build_discover(Ipv4Address());
  controller.send(zero_reply, wire::kControlGroup, wire::kControlPort);
  EXPECT_FALSE(controller.receive(200));
  EXPECT_EQ(discover(controller, 1).size(), 1u);
}

}  // namespace
}  // namespace kestrelon::client
