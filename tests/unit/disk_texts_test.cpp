// The names and cells the drive dialog and the command line show for a Client's
// disks and partitions.
#include "model/disk_texts.h"

#include <gtest/gtest.h>

#include <map>

namespace kestrelon {
namespace {

TEST(PartitionTypeName, KnownBytesHaveTheirNamesAndEveryOtherByteIsUnknown) {
  const std::map<int, std::string> known = {
      {0x01, "Fat12"},     {0x02, "Xenix"},        {0x03, "Xenix"},    {0x04, "Fat16"},  {0x05, "Extended"},
      {0x06, "Fat16"},     {0x07, "NTFS"},         {0x0A, "BootMan"},  {0x0B, "Fat32"},  {0x0C, "Fat32/LBA"},
      {0x0E, "Fat16/LBA"}, {0x0F, "Extended/LBA"}, {0x63, "SCO Unix"}, {0x64, "Novell"}, {0x82, "Linux Swap"},
      {0x83, "Linux"}};
  for (int type = 0; type < 256; ++type) {
    const auto it = known.find(type);
    EXPECT_EQ(partition_type_name(static_cast<std::uint8_t>(type)), it == known.end() ? "Unknown" : it->second)
        << "type byte " << type;
  }
}

TEST(DiskCells, DriveNumberCountsFromTheFirstHardDiskAndSizesAreWholeMegabytes) {
  DiskEntry disk;
  disk.bios_number = 0x81;
  disk.size_sectors = 4194304;
  EXPECT_EQ(drive_cells(disk), (std::array<std::string, 2>{"2", "2048 Mb"}));
  disk.bios_number = 0x80;
  disk.size_sectors = 4095;  // one sector short of 2 Mb
  EXPECT_EQ(drive_cells(disk), (std::array<std::string, 2>{"1", "1 Mb"}));
  disk.size_sectors = 0xFFFFFFFF;
  EXPECT_EQ(drive_cells(disk)[1], "2097151 Mb") << "sizes use all 32 bits";
}

TEST(DiskCells, PartitionCellsShowNumberInHexTypeBootKindAndSize) {
  PartitionEntry p;
  p.number = 0x0B;
  p.type = 0x05;
  p.boot = 0x80;
  p.logical = 1;
  p.size_sectors = 4194304;
  EXPECT_EQ(partition_cells(p), (std::array<std::string, 5>{"b", "Extended", "Yes", "Extended", "2048"}));
  p.number = 1;
  p.type = 0x00;
  p.boot = 0x01;  // only 0x80 marks the boot partition
  p.logical = 0;
  p.size_sectors = 2047;
  EXPECT_EQ(partition_cells(p), (std::array<std::string, 5>{"1", "Unknown", "No", "Primary", "0"}));
}

}  // namespace
}  // namespace kestrelon
