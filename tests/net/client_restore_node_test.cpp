// The Client program around a restore, over loopback: a restore broken off by a
// new request leaves a disk it announces without partitions and will not image,
// with the reason in its log; the boot medium is never restored onto.
#include <gtest/gtest.h>

#include <thread>

#include "client_disk_checks.h"
#include "image_builder.h"
#include "net/byte_order.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "restore_guard.h"
#include "running_client.h"
#include "support/private_network.h"
#include "support/udp_peer.h"

namespace kestrelon::client {
namespace {

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 7);

class ClientRestoreNode : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    ASSERT_TRUE(controller.ok());
  }
  void make_pc_disk(const std::string& layout, const std::string& path) {
    ASSERT_EQ(test::run_shell(std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh " + layout + " '" + path + "' 64"), 0);
  }
  int answers(std::uint16_t opcode) {
    int n = 0;
    for (const auto& r : controller.receive_all(300)) n += r.bytes.size() >= 8 && read_be16(r.bytes, 6) == opcode;
    return n;
  }
  void start(const std::string& name, std::uint64_t length, std::uint16_t flags) {
    controller.send(wire::build_copy_start(wire::CopyStartFields{length, name, 0, flags}), kClient, wire::kControlPort);
  }
  test::TempDir dir;
  test::UdpPeer controller{kController, wire::kControlPort};
};

TEST_F(ClientRestoreNode, ABrokenOffRestoreIsAnnouncedWithoutPartitionsAndNotImaged) {
  const std::string disk = dir.file("pc.img");
  make_pc_disk("mbr-ext4", disk);
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(disk, false, &error), BuildRequest{1, false}, &error);
  ASSERT_TRUE(builder) << error;
  std::vector<std::uint8_t> image;
  while (builder->next(image)) {
  }
  const auto patch = image::length_patch(image.size());
  std::copy(patch.begin(), patch.end(), image.begin());

  ClientOptions o;
  o.address = kClient;
  o.disks = {disk};
  testing::internal::CaptureStderr();
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  start("term2.krn", image.size(), wire::kFlagUniqueSid);
  EXPECT_EQ(answers(wire::OP_COPY_READY), 1);
  // The first half of the image, block by block, to the data group.
  for (std::uint32_t b = 0; std::size_t{b} * 1350 < image.size() / 2; ++b) {
    wire::CopyDataPacket p;
    std::copy_n(image.begin() + b * 1350, 1350, p.payload().begin());
    p.seal(b, 1350);
    controller.send(std::vector<std::uint8_t>(p.bytes().begin(), p.bytes().end()), wire::kDataGroup, wire::kDataPort);
  }
  // The restore has begun once the disk carries its marker.
  const auto marked = [&] {
    std::string e;
    const auto d = DiskDevice::open(disk, false, &e);
    return d && broken_copy_of(*d);
  };
  for (int i = 0; i < 100 && !marked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(marked());
  // A Create request replaces the copy: the disk now holds a broken-off copy.
  controller.send(wire::build_create_request(1, 0, 0), kClient, wire::kControlPort);
  EXPECT_EQ(answers(wire::OP_CREATE_DATA), 0) << "a broken-off copy is not imaged";
  controller.send(wire::build_discover(kController), wire::kControlGroup, wire::kControlPort);
  std::optional<wire::Announce> announce;
  for (const auto& r : controller.receive_all(500)) {
    if (!announce) announce = wire::decode_announce(r.bytes);
  }
  client.stop();
  const std::string log = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(announce);
  EXPECT_EQ(announce->disks[0].partition_count, 0);
  EXPECT_EQ(log.find("Create Unique NT SID"), std::string::npos)
      << "said only after a whole copy that wrote a Windows\n" << log;
  EXPECT_NE(log.find(disk + " holds a broken-off copy of \"term2.krn\""), std::string::npos) << log;
  EXPECT_NE(log.find("create refused: " + disk + " holds a broken-off copy"), std::string::npos) << log;
}

TEST_F(ClientRestoreNode, TheBootMediumIsNeverRestoredOnto) {
  const std::string stick = dir.file("stick.img");
  make_pc_disk("boot", stick);
  const auto before = test::read_region(stick, 0, 64 * kMiB);
  ClientOptions o;
  o.address = kClient;
  o.disks = {stick};
  o.once = true;
  testing::internal::CaptureStderr();
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  start("lab.krn", 1 << 20, 0);
  EXPECT_EQ(answers(wire::OP_COPY_READY), 0);
  EXPECT_EQ(client.wait(std::chrono::seconds(2)), 1) << "--once: a refused copy is a failed transfer";
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("holds this PC's boot medium (FAT label KSTRLN-BOOT); it is never overwritten"), std::string::npos)
      << log;
  EXPECT_TRUE(test::read_region(stick, 0, 64 * kMiB) == before);
}

}  // namespace
}  // namespace kestrelon::client
