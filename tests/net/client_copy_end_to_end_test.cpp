// Whole copies from the Controller's copy engine (with its worker ticking every
// millisecond) to Client programs in this process, over loopback multicast:
// the files arrive byte for byte, with and without lost datagrams.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "client_disk_checks.h"
#include "client_wire.h"
#include "image_builder.h"
#include "image/image_layout.h"
#include "net/wire_decode.h"
#include "support/udp_peer.h"
#include "net/wire_format.h"
#include "running_client.h"
#include "support/copy_side.h"
#include "support/image_files.h"
#include "support/private_network.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
Ipv4Address client_address(int i) { return Ipv4Address(127, 0, 0, static_cast<std::uint8_t>(60 + i)); }

class ClientCopyEndToEnd : public ::testing::Test, protected test::CopySide {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    ASSERT_TRUE(start_network(kController));
  }
  bool copy(const std::string& path, std::chrono::milliseconds limit = 30s, CopyOptions options = {}) {
    return CopySide::copy(path, limit, options);
  }
  ClientOptions store_options(int i) {
    ClientOptions o;
    o.address = client_address(i);
    o.store_dir = dir.file("client" + std::to_string(i));
    return o;
  }
};

TEST_F(ClientCopyEndToEnd, OwnImageOfAMultipleOf1350ArrivesWhole) {
  std::vector<std::uint8_t> bytes(1350 * 3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = test::pattern_byte(i);
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());
  test::write_file(dir.file("own.krn"), bytes);

  RunningClient client(store_options(0));
  ASSERT_TRUE(client.ok());
  add_target(client_address(0));
  ASSERT_TRUE(copy(dir.file("own.krn")));
  EXPECT_EQ(test::read_file(dir.file("client0/own.krn")), bytes);
  EXPECT_GE(stats.acknowledgements.load(), 100);
}

TEST_F(ClientCopyEndToEnd, ThreeClientsWithLossAllGetTheFile) {
  const std::uint64_t length = 1350 * 2000 + 17;
  test::write_pattern_file(dir.file("pattern.krn"), length);
  std::vector<std::unique_ptr<RunningClient>> clients;
  for (int i = 0; i < 3; ++i) {
    ClientOptions o = store_options(i);
    o.faults.seed = 100 + static_cast<std::uint64_t>(i);
    o.faults.drop_in = 1;
    o.faults.drop_out = 1;
    clients.push_back(std::make_unique<RunningClient>(o));
    ASSERT_TRUE(clients.back()->ok());
    add_target(client_address(i));
  }
  ASSERT_TRUE(copy(dir.file("pattern.krn")));
  const auto original = test::read_file(dir.file("pattern.krn"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(test::read_file(dir.file("client" + std::to_string(i) + "/pattern.krn")), original) << i;
  }
  EXPECT_TRUE(engine.acker_designated()) << "every target ranked, one named the acknowledging Client";
  EXPECT_GT(stats.retries.load(), 0) << "lost blocks were asked for again";
}

TEST_F(ClientCopyEndToEnd, FastModeServesClientsThatLoseBlocksAndOneThatKeepsNoEarlyBlocks) {
  engine.set_tuning({.fast = true});
  const std::uint64_t length = 1350 * 3000 + 5;
  test::write_pattern_file(dir.file("fast.krn"), length);
  std::vector<std::unique_ptr<RunningClient>> clients;
  for (int i = 0; i < 3; ++i) {
    ClientOptions o = store_options(i);
    o.faults.seed = 200 + static_cast<std::uint64_t>(i);
    o.faults.drop_in = i == 0 ? 0 : 2;
    o.faults.drop_out_of_order = i == 2;  // it asks again from its first lost block on
    clients.push_back(std::make_unique<RunningClient>(o));
    ASSERT_TRUE(clients.back()->ok());
    add_target(client_address(i));
  }
  ASSERT_TRUE(copy(dir.file("fast.krn"), 60s));
  const auto original = test::read_file(dir.file("fast.krn"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(test::read_file(dir.file("client" + std::to_string(i) + "/fast.krn")), original) << i;
  }
  EXPECT_GT(stats.retries.load(), 0);
}

TEST_F(ClientCopyEndToEnd, EmulatedClientsStoreEachTheirOwnCopy) {
  test::write_pattern_file(dir.file("small.krn"), 1350 * 100);
  ClientOptions o;
  o.count = 3;
  o.address_from = client_address(10);
  o.store_dir = dir.file("room");
  o.once = true;
  RunningClient clients(o);
  ASSERT_TRUE(clients.ok());
  for (int i = 0; i < 3; ++i) add_target(client_address(10 + i));
  ASSERT_TRUE(copy(dir.file("small.krn")));
  const auto original = test::read_file(dir.file("small.krn"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(test::read_file(dir.file("room/" + client_address(10 + i).text() + "/small.krn")), original);
  }
  // --once: the program ends by itself after the abort, with success.
  EXPECT_EQ(clients.wait(3s), 0);
}

TEST_F(ClientCopyEndToEnd, ImageRestoredOntoABlankDiskThatIsThenAnnounced) {
  const std::string source = dir.file("source.img");
  fill_mixed_disk(source);
  // The image this Client would upload, written straight to a file.
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(source, false, &error), BuildRequest{5, false}, &error);
  ASSERT_TRUE(builder) << error;
  std::vector<std::uint8_t> bytes;
  while (builder->next(bytes)) {
  }
  ASSERT_FALSE(builder->failed()) << builder->error();
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());
  test::write_file(dir.file("restore.krn"), bytes);

  const std::string target = dir.file("blank.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 80, ""));
  ASSERT_TRUE(test::fill_region(target, 0, 40 * kMiB, 11, false));  // old contents
  ClientOptions o;
  o.address = client_address(20);
  o.disks = {target};
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  add_target(client_address(20));
  ASSERT_TRUE(copy(dir.file("restore.krn"), 30s, CopyOptions{.keep_partition_size = true}));
  expect_same_disks(source, target);

  // The restored disk's partitions are announced from now on.
  test::UdpPeer controller(Ipv4Address(127, 0, 0, 2), wire::kControlPort);
  controller.send(wire::build_discover(Ipv4Address(127, 0, 0, 2)), wire::kControlGroup, wire::kControlPort);
  std::optional<wire::Announce> announce;
  while (const auto r = controller.receive(1000)) {
    announce = wire::decode_announce(r->bytes);
    if (announce && announce->address == client_address(20)) break;
  }
  ASSERT_TRUE(announce);
  ASSERT_EQ(announce->disk_count, 1);
  EXPECT_EQ(announce->disks[0].partition_count, 4);
  EXPECT_EQ(announce->disks[0].size_sectors, 80u * 2048);
}

TEST_F(ClientCopyEndToEnd, RestoreOntoATooSmallDiskIsNotReported) {
  const std::string source = dir.file("source.img");
  fill_mixed_disk(source);
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(source, false, &error), BuildRequest{1, false}, &error);
  std::vector<std::uint8_t> bytes;
  while (builder->next(bytes)) {
  }
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());
  test::write_file(dir.file("big.krn"), bytes);
  const std::string target = dir.file("small.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 16, ""));
  ClientOptions o;
  o.address = client_address(21);
  o.disks = {target};
  RunningClient client(o);
  add_target(client_address(21));
  EXPECT_FALSE(copy(dir.file("big.krn"), 3s)) << "a Client that cannot restore never says done";
}

}  // namespace
}  // namespace kestrelon::client
