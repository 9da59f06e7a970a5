// Images copied from the Controller's copy engine to a Client program in this
// process, over loopback multicast, that the Client must not restore as they
// are: a chunk damaged in the file stops the restore before it is written, the
// disk is left a broken-off copy, and `kestrelon-cli info --verify` names the
// chunk; a table sector at the disk's end is refused before anything is
// written. And an image made by the Client of format version 2 still restores
// byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "client_disk_checks.h"
#include "disk_set.h"
#include "image/chunk_codec.h"
#include "running_client.h"
#include "support/child_process.h"
#include "support/copy_side.h"
#include "support/image_files.h"
#include "support/private_network.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 70);

class ClientImageFormat : public ::testing::Test, protected test::CopySide {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    ASSERT_TRUE(start_network(kController));
  }
  // A Client with the one disk `target`, made a target of the copy.
  std::unique_ptr<RunningClient> client_with(const std::string& target) {
    ClientOptions o;
    o.address = kClient;
    o.disks = {target};
    auto client = std::make_unique<RunningClient>(o);
    EXPECT_TRUE(client->ok());
    add_target(kClient);
    return client;
  }
  // kestrelon-cli info --verify: its exit status and what it printed.
  std::pair<int, std::string> verify(const std::string& path) {
    test::ChildProcess cli({KESTRELON_CLI_PATH, "info", "--verify", path});
    const auto status = cli.wait(30s);
    return {status.value_or(-1), cli.output()};
  }
};

TEST_F(ClientImageFormat, ADamagedChunkStopsTheRestoreLeavesABrokenOffCopyAndVerifyNamesIt) {
  const std::string source = dir.file("source.img");
  fill_mixed_disk(source);
  std::vector<std::uint8_t> bytes = image_of(source, {9, false, 0});
  test::write_file(dir.file("sound.krn"), bytes);
  const auto [sound_status, sound_text] = verify(dir.file("sound.krn"));
  EXPECT_EQ(sound_status, 0) << sound_text;
  EXPECT_NE(sound_text.find("Sound:        yes, every chunk"), std::string::npos) << sound_text;

  // One byte changed in the stored bytes of the first chunk 5 MiB into partition
  // 1: a chunk in the middle of a file system, away from what a restore holds back.
  const ChunkList list = chunks_of(bytes);
  const auto bad = std::find_if(list.chunks.begin(), list.chunks.end(), [](const auto& c) {
    return c.head.partition == 1 && c.head.offset >= 5 * kMiB;
  });
  ASSERT_NE(bad, list.chunks.end());
  ASSERT_EQ(list.header.areas[1].start_lba, 2048u) << "area 1 is partition 1 (area 0 the boot loader's room)";
  bytes[bad->at + image::kChunkHeadSize + bad->head.stored_length / 2] ^= 0x20;
  test::write_file(dir.file("damaged.krn"), bytes);
  const std::string named =
      "chunk " + std::to_string(bad->number) + " (at byte " + std::to_string(bad->at) + " of the image) is damaged";
  const auto [status, text] = verify(dir.file("damaged.krn"));
  EXPECT_EQ(status, 1) << text;
  EXPECT_NE(text.find("Sound:        no: " + named), std::string::npos) << text;

  // Copied to a Client whose disk holds an older system.
  const std::string target = dir.file("target.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 64, test::mixed_layout_script()));
  ASSERT_TRUE(test::fill_region(target, 2048 * 512, 40 * kMiB, 11, false));
  const std::uint64_t bad_at = 2048 * 512 + bad->head.offset;
  const auto old_bytes = test::read_region(target, bad_at, bad->head.raw_length);
  {
    const auto client = client_with(target);
    EXPECT_FALSE(copy(dir.file("damaged.krn"), 10s)) << "the Client stopped at the damaged chunk";
  }
  EXPECT_TRUE(test::read_region(target, bad_at, bad->head.raw_length) == old_bytes)
      << "nothing of the damaged chunk was written";
  DiskSet disks;
  std::string error;
  ASSERT_TRUE(disks.load({target}, &error)) << error;
  EXPECT_EQ(disks.entries()[0].partition_count, 0) << "announced without partitions";
  EXPECT_EQ(disks.disks()[0].broken_copy.value_or("(none)"), "damaged.krn");

  // The restorer's own reason, as the Client logs it.
  EXPECT_NE(restore_image(bytes, target).find(named + ": it fails its checksum"), std::string::npos);
}

TEST_F(ClientImageFormat, AnImageMadeByTheClientOfFormatVersionTwoStillRestores) {
  // Made by the Client before zstd and checksums of version 3 (zlib level 9,
  // CRC-32 in every chunk) from a 4 MiB disk: two partitions with text, random
  // bytes and a pattern, and bytes in the boot loader's room.
  const std::string image = std::string(KESTRELON_NET_IMAGES_DIR) + "/version2.krn";
  const std::string copied = dir.file("version2.krn");
  std::filesystem::copy_file(image, copied);
  const auto [status, text] = verify(copied);
  EXPECT_EQ(status, 0) << text;
  EXPECT_NE(text.find("Sound:        yes, every chunk (12 chunks"), std::string::npos) << text;

  const std::string target = dir.file("target.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 4, ""));
  ASSERT_TRUE(test::fill_region(target, 0, 4 * kMiB, 13, false));
  {
    const auto client = client_with(target);
    ASSERT_TRUE(copy(copied, 20s));
  }
  EXPECT_EQ(test::run_shell("echo '3ff3df020776370e8dba3333a9133079e7f4dec1b9bc84a498ab8130dfa803ba  " + target +
                            "' | sha256sum --check --status"),
            0)
      << "the whole disk as it was imaged";
}

TEST_F(ClientImageFormat, ATableSectorAtTheEndOfTheDiskIsRefusedBeforeAnythingIsWritten) {
  // An 8 MiB source whose saved table sectors include one at sector 16384: on a
  // disk of the same size, one past its last sector.
  image::ImageHeader h;
  h.source_sectors = 16384;
  h.partitions.push_back(image::ImagePartition{1, 0x83, 0, false, 2048, 4096});
  image::TableSector mbr;
  mbr.bytes[450] = 0x83;
  mbr.bytes[454 + 1] = 0x08;  // start 2048
  mbr.bytes[458 + 1] = 0x10;  // 4096 sectors
  mbr.bytes[510] = 0x55;
  mbr.bytes[511] = 0xAA;
  image::TableSector past_the_end;
  past_the_end.lba = 16384;
  past_the_end.bytes.fill(0xEE);
  h.table_sectors = {mbr, past_the_end};
  std::vector<std::uint8_t> bytes = image::encode_header(h);
  const std::vector<std::uint8_t> data(65536, 0x5A);
  std::vector<std::uint8_t> chunk;
  image::ChunkCompressor(image::kZstd, 1).pack(image::ChunkHead{}, data, chunk);
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  image::ChunkHead end;
  end.partition = image::kEndChunk;
  end.offset = 1;
  const auto tail = image::sealed_head(end, {});
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());
  test::write_file(dir.file("hostile.krn"), bytes);
  EXPECT_EQ(verify(dir.file("hostile.krn")).first, 0) << "every chunk is sound: only the table is wrong";

  const std::string target = dir.file("target.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 8, ""));
  ASSERT_TRUE(test::fill_region(target, 0, 8 * kMiB, 14, false));
  const auto before = test::read_file(target);
  {
    const auto client = client_with(target);
    EXPECT_FALSE(copy(dir.file("hostile.krn"), 5s));
  }
  EXPECT_EQ(std::filesystem::file_size(target), 8 * kMiB) << "the disk file did not grow";
  EXPECT_TRUE(test::read_file(target) == before) << "not a byte written";
  EXPECT_NE(restore_image(bytes, target).find("the image's partition table has a sector (16384) at or past the end "
                                              "of the disk (16384 sectors)"),
            std::string::npos);
}

}  // namespace
}  // namespace kestrelon::client
