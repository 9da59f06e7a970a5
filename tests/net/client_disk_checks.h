#pragma once
// Virtual disks with varied partition contents, and the comparison of two disks'
// partitions and partition tables, for the Client's Create and Copy tests.
#include <gtest/gtest.h>

#include <string>

#include "disk_device.h"
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

}  // namespace kestrelon::client
