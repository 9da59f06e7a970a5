// Create uploads from a Client program in this process to a scripted Controller
// that applies the upload-stream rules: the image built from a virtual disk,
// restored onto another disk, gives every partition and the partition tables
// back byte for byte, at every compression level, with lost datagrams, and
// with the link patch filling in the image length.
#include <gtest/gtest.h>

#include <chrono>

#include "client_disk_checks.h"
#include "copy_sink.h"
#include "disk_device.h"
#include "image_layout.h"
#include "net/byte_order.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "running_client.h"
#include "stream_rules_for_test.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/udp_peer.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 80);

struct CreateRun {
  test::StreamRulesForTest rules;
  int blocks = 0, acks = 0, naks = 0;
  std::uint32_t last_done = 0, total = 0;
  bool progress_grew = true;
  bool completed = false;  // the end record was acknowledged and the Client stopped sending
};

class ClientCreateUpload : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    source = dir.file("source.img");
    fill_mixed_disk(source);
  }
  ClientOptions options() {
    ClientOptions o;
    o.address = kClient;
    o.disks = {source};
    return o;
  }
  // The Controller's side: request, then answer every block by the stream rules.
  // The block that completes REC_END gets no answer; its repeats are
  // acknowledged after `close_after`, as the Controller does once it has closed
  // the file.
  void run_create(CreateRun& run, std::uint16_t level, std::uint16_t flags, const std::string& description = "") {
    run.rules = test::StreamRulesForTest(description, 0);
    test::UdpPeer controller(kController, wire::kControlPort);
    ASSERT_TRUE(controller.ok());
    controller.send(wire::build_create_request(level, 0, flags), kClient, wire::kControlPort);
    std::optional<std::chrono::steady_clock::time_point> ended_at;
    for (;;) {
      const auto r = controller.receive(3000);
      if (!r) break;
      const auto data = wire::decode_create_data(r->bytes);
      ASSERT_TRUE(data) << "only OP_CREATE_DATA comes from an uploading Client";
      ++run.blocks;
      if (data->done_kib < run.last_done) run.progress_grew = false;
      run.last_done = data->done_kib;
      run.total = data->total_kib;
      if (ended_at) {
        if (std::chrono::steady_clock::now() - *ended_at > 300ms) {
          // Closed: every repeat is acknowledged until the Client stops sending.
          controller.send(wire::build_create_ack(data->block), kClient, wire::kControlPort);
          while (const auto more = controller.receive(800)) {
            controller.send(wire::build_create_ack(wire::decode_create_data(more->bytes)->block), kClient,
                            wire::kControlPort);
          }
          run.completed = true;
          return;
        }
        continue;
      }
      const bool yes = run.rules.accept(data->block, data->data);
      if (run.rules.ended()) {
        ended_at = std::chrono::steady_clock::now();
        continue;
      }
      if (yes) {
        ++run.acks;
        controller.send(wire::build_create_ack(data->block), kClient, wire::kControlPort);
      } else {
        ++run.naks;
        controller.send(wire::build_create_nak(run.rules.expected()), kClient, wire::kControlPort);
      }
    }
  }
  // Restores `image_bytes` onto a fresh disk full of junk and compares it with the source.
  void expect_restores(const std::vector<std::uint8_t>& image_bytes) {
    const std::string target = dir.file("target.img");
    ASSERT_TRUE(test::make_virtual_disk(target, 64, ""));
    ASSERT_TRUE(test::fill_region(target, 0, 30 * kMiB, 9, false));
    std::string error;
    auto disk = DiskDevice::open(target, true, &error);
    ASSERT_TRUE(disk) << error;
    ImageRestorer restorer(std::move(disk));
    // In uneven slices, as blocks of a copy would arrive.
    for (std::size_t at = 0; at < image_bytes.size(); at += 1350) {
      const std::size_t n = std::min<std::size_t>(1350, image_bytes.size() - at);
      ASSERT_TRUE(restorer.consume(std::span(image_bytes.data() + at, n))) << restorer.error();
    }
    ASSERT_TRUE(restorer.finish()) << restorer.error();

    expect_same_disks(source, target);
  }
  test::TempDir dir;
  std::string source;
};

TEST_F(ClientCreateUpload, CompressedUploadRestoresByteForByte) {
  RunningClient client(options());
  ASSERT_TRUE(client.ok());
  CreateRun run;
  run_create(run, 9, 0, "Lab image, Monday");
  ASSERT_TRUE(run.rules.ended());
  EXPECT_TRUE(run.completed);
  EXPECT_EQ(run.naks, 0);
  EXPECT_EQ(run.rules.unknown_records(), 0);
  EXPECT_EQ(run.rules.link_patches(), 1);
  EXPECT_LT(run.rules.peak_buffered(), 16384u) << "records stay far below the stream buffer";
  const auto& file = run.rules.file();
  // The link patch wrote the file length into bytes 4-7, where the Client's
  // own copy of it agrees.
  EXPECT_EQ(read_le32(file, 4), file.size());
  EXPECT_EQ(image::probe_length(file), file.size());
  // The Controller's fields: description, partition count, sizes.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + 256)), "Lab image, Monday");
  EXPECT_EQ(file[5513], 4);
  EXPECT_EQ(read_le32(file, 7066), 16384u);
  EXPECT_EQ(read_le32(file, 7070), 16384u);
  EXPECT_EQ(read_le32(file, 7066 + 24 * 3), 8192u);
  // Progress in KiB: the partitions' total, reached at the end.
  EXPECT_EQ(run.total, (16384u + 8192 * 3) / 2);
  EXPECT_EQ(run.last_done, run.total);
  EXPECT_TRUE(run.progress_grew);
  // Compressed and zero chunks left out: far smaller than the 20 MiB of partitions.
  EXPECT_LT(file.size(), 4 * kMiB);
  expect_restores(file);
}

TEST_F(ClientCreateUpload, StoredSectorBySectorUploadKeepsEveryChunk) {
  RunningClient client(options());
  CreateRun run;
  run_create(run, 0, wire::kFlagSectorBySector);
  ASSERT_TRUE(run.rules.ended());
  const auto& file = run.rules.file();
  // Every byte of the 20 MiB of partitions is there, plus heads.
  EXPECT_GT(file.size(), 20 * kMiB);
  EXPECT_EQ(read_le16(file, 14), image::kFlagAllChunks);
  expect_restores(file);
}

TEST_F(ClientCreateUpload, LostDatagramsAreResentAndTheImageIsWhole) {
  ClientOptions o = options();
  o.faults.seed = 5;
  o.faults.drop_in = 3;
  o.faults.drop_out = 3;
  o.faults.duplicate_out = 3;
  RunningClient client(o);
  CreateRun run;
  run_create(run, 1, 0);
  ASSERT_TRUE(run.rules.ended());
  EXPECT_TRUE(run.completed);
  EXPECT_GT(run.blocks, run.acks) << "some blocks were sent more than once";
  expect_restores(run.rules.file());
}

TEST_F(ClientCreateUpload, AbortStopsTheUpload) {
  ClientOptions o = options();
  o.once = true;
  RunningClient client(o);
  test::UdpPeer controller(kController, wire::kControlPort);
  controller.send(wire::build_create_request(0, 0, 0), kClient, wire::kControlPort);
  auto first = controller.receive(2000);
  ASSERT_TRUE(first);
  for (int i = 0; i < 3; ++i) controller.send(wire::build_abort(), kClient, wire::kControlPort);
  controller.receive_all(300);
  EXPECT_FALSE(controller.receive(500)) << "nothing is sent after the abort";
  EXPECT_EQ(client.wait(2s), 1) << "--once: the aborted transfer ends the program with status 1";
}

TEST_F(ClientCreateUpload, SilentAfterABlockStopsSending) {
  ClientOptions o = options();
  o.faults.silent_after_block = 3;
  RunningClient client(o);
  test::UdpPeer controller(kController, wire::kControlPort);
  controller.send(wire::build_create_request(0, 0, 0), kClient, wire::kControlPort);
  std::uint32_t highest = 0;
  for (int i = 0; i < 4; ++i) {
    const auto r = controller.receive(2000);
    ASSERT_TRUE(r);
    const auto d = wire::decode_create_data(r->bytes);
    highest = std::max(highest, d->block);
    controller.send(wire::build_create_ack(d->block), kClient, wire::kControlPort);
  }
  EXPECT_EQ(highest, 3u);
  EXPECT_FALSE(controller.receive(500));
}

TEST_F(ClientCreateUpload, RequestForAMissingDiskIsRefused) {
  ClientOptions o = options();
  o.once = true;
  RunningClient client(o);
  test::UdpPeer controller(kController, wire::kControlPort);
  controller.send(wire::build_create_request(0, 3, 0), kClient, wire::kControlPort);
  EXPECT_FALSE(controller.receive(500));
  EXPECT_EQ(client.wait(1s), 1) << "--once: a refused request is a failed transfer";
}

TEST(ClientImageRestore, RefusesDamageAndSmallDisks) {
  test::TempDir dir;
  image::ImageHeader h;
  h.partitions.push_back(image::ImagePartition{1, 0x83, 0, false, 2048, 4096});
  std::vector<std::uint8_t> bytes = image::encode_header(h);
  std::vector<std::uint8_t> raw(65536, 0x41);
  image::ChunkHead c;
  c.partition = 0;
  c.raw_length = c.stored_length = 65536;
  c.crc = 12345;  // wrong
  const auto head = image::encode_chunk_head(c);
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), raw.begin(), raw.end());

  ASSERT_TRUE(test::make_virtual_disk(dir.file("small.img"), 1, ""));
  std::string error;
  ImageRestorer small(DiskDevice::open(dir.file("small.img"), true, &error));
  EXPECT_FALSE(small.consume(bytes));
  EXPECT_NE(small.error().find("needs 6144 sectors"), std::string::npos) << small.error();

  ASSERT_TRUE(test::make_virtual_disk(dir.file("big.img"), 8, ""));
  ImageRestorer damaged(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_FALSE(damaged.consume(bytes));
  EXPECT_NE(damaged.error().find("checksum"), std::string::npos) << damaged.error();

  ImageRestorer cut(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_TRUE(cut.consume(std::span(bytes.data(), 9000)));
  EXPECT_FALSE(cut.finish());
  EXPECT_NE(cut.error().find("ended before"), std::string::npos) << cut.error();

  std::vector<std::uint8_t> foreign(9000, 7);
  ImageRestorer other(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_FALSE(other.consume(foreign));
  EXPECT_NE(other.error().find("not an image of this Client"), std::string::npos);
}

}  // namespace
}  // namespace kestrelon::client
