#pragma once
// Virtual disks with varied partition contents, the comparison of two disks'
// partitions and partition tables, and images of them as a Create makes them,
// for the Client's Create and Copy tests.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "disk_device.h"
#include "image/image_reader.h"
#include "image_builder.h"
#include "image_restorer.h"
#include "net/client_record.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {

inline constexpr std::uint64_t kMiB = 1 << 20;

// The mixed layout (partitions 1, 2, 5, 6 on 64 MiB) with text, random data,
// zeros, bytes in a last sector, and bytes outside every partition.
inline void fill_mixed_disk(const std::string& path) {
  ASSERT_TRUE(test::make_virtual_disk(path, 64, test::mixed_layout_script()));
  ASSERT_TRUE(test::fill_region(path, 2048 * 512, kMiB, 1, true));
  ASSERT_TRUE(test::fill_region(path, 2048 * 512 + 5 * kMiB, kMiB + 777, 2, false));
  ASSERT_TRUE(test::fill_region(path, 18432ull * 512, 512 * 1024, 3, false));
  ASSERT_TRUE(test::fill_region(path, 28672ull * 512, kMiB, 4, true));
  ASSERT_TRUE(test::fill_region(path, (38912ull + 8191) * 512 + 100, 50, 5, false));
  ASSERT_TRUE(test::fill_region(path, 60 * kMiB, 4096, 6, false));
}

// Same partition tables (MBR and extended boot records) and every partition
// byte for byte.
inline void expect_same_disks(const std::string& source, const std::string& target) {
  std::string error;
  const auto a = DiskDevice::open(source, false, &error);
  const auto b = DiskDevice::open(target, false, &error);
  ASSERT_TRUE(a && b) << error;
  const auto ta = a->partition_table(&error);
  const auto tb = b->partition_table(&error);
  ASSERT_TRUE(ta && tb) << error;
  EXPECT_EQ(ta->partitions, tb->partitions);
  EXPECT_EQ(ta->table_sectors, tb->table_sectors);
  for (const auto lba : ta->table_sectors) {
    EXPECT_EQ(test::read_region(source, lba * 512, 512), test::read_region(target, lba * 512, 512)) << lba;
  }
  for (const Partition& p : ta->partitions) {
    EXPECT_TRUE(test::read_region(source, p.start_lba * 512, p.sectors * 512) ==
                test::read_region(target, p.start_lba * 512, p.sectors * 512))
        << "partition " << int(p.number);
  }
}

// `record` as the Controller lists a Client at `address` that announced the disk
// file `path` as its only disk.
inline ::testing::AssertionResult list_as_client(const std::string& path, Ipv4Address address, const char* name,
                                                 ClientRecord& record) {
  std::string error;
  const auto disk = DiskDevice::open(path, false, &error);
  if (!disk) return ::testing::AssertionFailure() << error;
  const auto table = disk->partition_table(&error);
  if (!table) return ::testing::AssertionFailure() << error;
  record.address = address;
  record.set_name(name);
  record.disk_count = 1;
  record.disks[0] = announce_entry(0, disk->sectors(), *table);
  return ::testing::AssertionSuccess();
}

// The image a Create of `disk` makes, with its length filled in as the
// Controller's link patch does.
inline std::vector<std::uint8_t> image_of(const std::string& disk, BuildRequest request = {1, false}) {
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(disk, false, &error), request, &error);
  EXPECT_TRUE(builder) << error;
  std::vector<std::uint8_t> bytes;
  if (!builder) return bytes;
  while (builder->next(bytes)) {
  }
  EXPECT_FALSE(builder->failed()) << builder->error();
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());
  return bytes;
}

// Restores `image_bytes` onto the disk file `target` in slices of a copy's
// blocks; the restorer's error, empty when the restore ended whole.
inline std::string restore_image(const std::vector<std::uint8_t>& image_bytes, const std::string& target,
                                 RestoreOptions options = {}) {
  std::string error;
  auto disk = DiskDevice::open(target, true, &error);
  if (!disk) return error;
  ImageRestorer restorer(std::move(disk), std::move(options));
  for (std::size_t at = 0; at < image_bytes.size(); at += 1350) {
    const std::size_t n = std::min<std::size_t>(1350, image_bytes.size() - at);
    if (!restorer.consume(std::span(image_bytes.data() + at, n))) return restorer.error();
  }
  return restorer.finish() ? "" : restorer.error();
}

// Every chunk of an image as the image reader hands it on (checked against its
// checksum), without its bytes.
struct ChunkList final : image::ImageReader::Handler {
  image::ImageHeader header;
  std::vector<image::ImageReader::Chunk> chunks;
  bool on_header(const image::ImageHeader& h) override {
    header = h;
    return true;
  }
  bool on_chunk(const image::ImageReader::Chunk& c) override {
    chunks.push_back(c);
    chunks.back().raw = {};
    return true;
  }
  // How many chunks are stored, zlib and zstd.
  std::array<int, 3> methods() const {
    std::array<int, 3> n{};
    for (const auto& c : chunks) ++n.at(c.head.method);
    return n;
  }
};
inline ChunkList chunks_of(const std::vector<std::uint8_t>& image_bytes) {
  ChunkList list;
  image::ImageReader reader(list);
  EXPECT_TRUE(reader.feed(image_bytes) && reader.finish()) << reader.error();
  return list;
}

}  // namespace kestrelon::client
