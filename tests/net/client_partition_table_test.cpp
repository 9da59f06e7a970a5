// The Client reads partition tables of disk images made by Debian's sfdisk:
// primary, extended and logical partitions, empty disks, and broken tables.
#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "disk_device.h"
#include "net/byte_order.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {
namespace {

using test::make_virtual_disk;
using test::TempDir;

PartitionTable read_table(const std::string& path) {
  std::string error;
  const auto disk = DiskDevice::open(path, false, &error);
  EXPECT_TRUE(disk) << error;
  if (!disk) return {};
  const auto table = disk->partition_table(&error);
  EXPECT_TRUE(table) << error;
  return table ? *table : PartitionTable{};
}

TEST(ClientPartitionTable, PrimaryExtendedAndLogicalFromSfdisk) {
  TempDir dir;
  const std::string path = dir.file("mixed.img");
  ASSERT_TRUE(make_virtual_disk(path, 64, test::mixed_layout_script()));
  const PartitionTable t = read_table(path);
  const std::vector<Partition> expected = {
      {1, 0x80, 0x83, false, 2048, 16384},
      {2, 0x00, 0x0B, false, 18432, 8192},
      {5, 0x00, 0x83, true, 28672, 8192},
      {6, 0x00, 0x82, true, 38912, 8192, true},  // swap: sized for its job
  };
  EXPECT_EQ(t.partitions, expected);
  // The MBR and one extended boot record per logical partition.
  ASSERT_EQ(t.table_sectors.size(), 3u);
  EXPECT_EQ(t.table_sectors[0], 0u);
  EXPECT_EQ(t.table_sectors[1], 26624u);
  EXPECT_GT(t.table_sectors[2], 26624u);
  EXPECT_LT(t.table_sectors[2], 38912u);
}

TEST(ClientPartitionTable, FourPrimaries) {
  TempDir dir;
  const std::string path = dir.file("four.img");
  ASSERT_TRUE(make_virtual_disk(path, 32, "label: dos\n2048,4096,7\n6144,4096,83\n10240,4096,c,*\n14336,4096,83\n"));
  const PartitionTable t = read_table(path);
  ASSERT_EQ(t.partitions.size(), 4u);
  EXPECT_EQ(t.partitions[2], (Partition{3, 0x80, 0x0C, false, 10240, 4096}));
  EXPECT_EQ(t.table_sectors, std::vector<std::uint64_t>{0});
}

TEST(ClientPartitionTable, EmptyDisksHaveNoPartitions) {
  TempDir dir;
  // Never partitioned: no signature at all.
  const std::string blank = dir.file("blank.img");
  ASSERT_TRUE(make_virtual_disk(blank, 8, ""));
  EXPECT_TRUE(read_table(blank).partitions.empty());
  EXPECT_TRUE(read_table(blank).table_sectors.empty());
  // An MBR with no entries.
  const std::string empty_label = dir.file("label.img");
  ASSERT_TRUE(make_virtual_disk(empty_label, 8, "label: dos\n"));
  const PartitionTable t = read_table(empty_label);
  EXPECT_TRUE(t.partitions.empty());
  EXPECT_EQ(t.table_sectors, std::vector<std::uint64_t>{0});
  // A file shorter than one sector.
  const std::string tiny = dir.file("tiny.img");
  std::ofstream(tiny) << "x";
  EXPECT_TRUE(read_table(tiny).partitions.empty());
}

TEST(ClientPartitionTable, ExtendedWithoutLogicalPartitions) {
  TempDir dir;
  const std::string path = dir.file("ext.img");
  ASSERT_TRUE(make_virtual_disk(path, 16, "label: dos\n2048,4096,83\n6144,,5\n"));
  const PartitionTable t = read_table(path);
  ASSERT_EQ(t.partitions.size(), 1u);
  EXPECT_EQ(t.partitions[0].number, 1);
}

// Builds sectors in memory to reach the error paths sfdisk never produces.
struct FakeDisk {
  std::vector<std::array<std::uint8_t, 512>> sectors;
  explicit FakeDisk(std::size_t n) : sectors(n) {}
  void entry(std::size_t lba, int slot, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
    auto& s = sectors[lba];
    s[510] = 0x55;
    s[511] = 0xAA;
    const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
    s[at + 4] = type;
    write_le32(s, at + 8, start);
    write_le32(s, at + 12, count);
  }
  std::optional<PartitionTable> read(std::string* error) const {
    return read_partition_table(
        [this](std::uint64_t lba, std::span<std::uint8_t, 512> out) {
          if (lba >= sectors.size()) return false;
          std::copy(sectors[lba].begin(), sectors[lba].end(), out.begin());
          return true;
        },
        sectors.size(), error);
  }
};

TEST(ClientPartitionTable, RefusesTablesThatPointOutsideOrLoop) {
  std::string error;
  {
    FakeDisk d(100);
    d.entry(0, 0, 0x83, 10, 200);  // beyond the disk
    EXPECT_FALSE(d.read(&error));
    EXPECT_NE(error.find("outside the disk"), std::string::npos) << error;
  }
  {
    FakeDisk d(100);
    d.entry(0, 0, 0x05, 10, 80);
    d.entry(10, 0, 0x83, 2, 10);
    d.entry(10, 1, 0x05, 20, 20);
    d.entry(30, 0, 0x83, 2, 10);
    d.entry(30, 1, 0x05, 0 + 5, 20);  // points back before itself: a loop
    d.entry(15, 0, 0x83, 1, 1);
    d.entry(15, 1, 0x05, 20, 20);
    EXPECT_FALSE(d.read(&error));
    EXPECT_NE(error.find("backwards"), std::string::npos) << error;
  }
  {
    FakeDisk d(100);
    d.entry(0, 0, 0x05, 10, 40);
    d.entry(10, 0, 0x83, 2, 60);  // logical larger than its extended partition
    EXPECT_FALSE(d.read(&error));
    EXPECT_NE(error.find("outside its extended"), std::string::npos) << error;
  }
  {
    FakeDisk d(100);
    d.entry(0, 0, 0x05, 10, 40);
    d.entry(0, 1, 0x0F, 50, 40);
    EXPECT_FALSE(d.read(&error));
    EXPECT_NE(error.find("more than one extended"), std::string::npos) << error;
  }
}

TEST(ClientPartitionTable, AnnounceEntryCarriesTheTable) {
  PartitionTable t;
  for (int i = 0; i < 14; ++i) {
    t.partitions.push_back(Partition{static_cast<std::uint8_t>(i + 1), 0, 0x83, i >= 4,
                                     std::uint64_t(2048) * static_cast<std::uint64_t>(i + 1), 1000});
  }
  const DiskEntry e = announce_entry(1, 20 * 1024 * 1024, t);
  EXPECT_EQ(e.bios_number, 0x81);
  EXPECT_EQ(e.size_sectors, 20u * 1024 * 1024);
  EXPECT_EQ(e.geometry2, 255);
  EXPECT_EQ(e.geometry3, 63);
  EXPECT_EQ(e.geometry1, 20u * 1024 * 1024 / (255 * 63));
  EXPECT_EQ(e.partition_count, 12);
  EXPECT_EQ(e.partitions[4].logical, 1);
  EXPECT_EQ(e.partitions[4].first_extra, 2048u * 5);
}

TEST(ClientPartitionTable, UnreadableDiskIsAClearError) {
  std::string error;
  EXPECT_FALSE(DiskDevice::open("/nonexistent/disk.img", false, &error));
  EXPECT_NE(error.find("/nonexistent/disk.img"), std::string::npos);
  EXPECT_FALSE(DiskDevice::open("/tmp", false, &error));
  EXPECT_NE(error.find("neither"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrelon::client
