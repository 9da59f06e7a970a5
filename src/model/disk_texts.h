#pragma once
// How a Client's disks and partitions read to a person: the name of a partition
// type byte, and the cells of the drive and partition lists. Shared by the drive
// dialog and kestrelon-cli, so both name a partition alike.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/disk_layout.h"

namespace kestrelon {

// "Fat12", "NTFS", "Linux" ... for the type bytes the program knows; "Unknown"
// for every other byte, 0x00 included.
std::string_view partition_type_name(std::uint8_t type);

// "Primary", or "Extended" for a partition inside an extended partition.
std::string_view partition_kind_name(const PartitionEntry& partition);

// Sectors shifted right by 11: whole megabytes, rounded down.
std::int64_t sectors_to_mb(std::uint32_t sectors);

// The drive list's cells: the BIOS drive number minus 127 ("1" for 0x80) and
// the size followed by " Mb".
std::array<std::string, 2> drive_cells(const DiskEntry& disk);

// The partition list's cells: the number in lower-case hexadecimal, the type
// name, "Yes" or "No" for the boot indicator 0x80, the kind, and the size in
// megabytes without a unit.
std::array<std::string, 5> partition_cells(const PartitionEntry& partition);

}  // namespace kestrelon
