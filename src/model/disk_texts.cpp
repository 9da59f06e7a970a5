#include "model/disk_texts.h"

#include <cstdio>

namespace kestrelon {

std::string_view partition_type_name(std::uint8_t type) {
  switch (type) {
    case 0x01: return "Fat12";
    case 0x02:
    case 0x03: return "Xenix";
    case 0x04:
    case 0x06: return "Fat16";
    case 0x05: return "Extended";
    case 0x07: return "NTFS";
    case 0x0A: return "BootMan";
    case 0x0B: return "Fat32";
    case 0x0C: return "Fat32/LBA";
    case 0x0E: return "Fat16/LBA";
    case 0x0F: return "Extended/LBA";
    case 0x63: return "SCO Unix";
    case 0x64: return "Novell";
    case 0x82: return "Linux Swap";
    case 0x83: return "Linux";
    default: return "Unknown";
  }
}

std::string_view partition_kind_name(const PartitionEntry& partition) {
  return partition.logical != 0 ? "Extended" : "Primary";
}

std::int64_t sectors_to_mb(std::uint32_t sectors) { return static_cast<std::int64_t>(sectors >> 11); }

std::array<std::string, 2> drive_cells(const DiskEntry& disk) {
  return {std::to_string(static_cast<int>(disk.bios_number) - 127),
          std::to_string(sectors_to_mb(disk.size_sectors)) + " Mb"};
}

std::array<std::string, 5> partition_cells(const PartitionEntry& partition) {
  char number[8];
  std::snprintf(number, sizeof number, "%x", static_cast<unsigned>(partition.number));
  return {number, std::string(partition_type_name(partition.type)), partition.boot == 0x80 ? "Yes" : "No",
          std::string(partition_kind_name(partition)), std::to_string(sectors_to_mb(partition.size_sectors))};
}

}  // namespace kestrelon
