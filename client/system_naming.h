#pragma once
// After a whole copy, each system the copied disk holds takes the computer name
// the Controller gave this PC: a Linux system on an ext2/3/4 partition (one with
// /etc/os-release or /etc/hostname), a Windows on an NTFS partition (one with
// Windows/System32/config/SYSTEM). A system the Client does not recognise is
// left as it is, and the log and the Controller's report say so.
#include <cstdint>
#include <string>
#include <vector>

#include "net/wire_format.h"

namespace kestrelon::client {

// Said after a copy that wrote a Windows while "Create Unique NT SID" was on:
// changing a Windows security identifier offline is not sound.
inline constexpr const char* kUniqueSidNote =
    "\"Create Unique NT SID\" is on, but this Client does not change Windows security identifiers: the copied "
    "Windows keeps the identifier of the PC the image was made from (generalise the master with Windows' Sysprep "
    "before making its image)";

struct NamingPartition {
  int number = 0;  // as the partition table numbers it
  std::uint64_t start_lba = 0;
  std::uint64_t sectors = 0;
};

struct NamingResult {
  wire::NamingOutcome outcome = wire::NamingOutcome::not_asked;
  std::vector<std::string> lines;  // one log line per system, or why none
};

// Names every system on `disk` (a disk device or image file) `name`.
NamingResult name_systems(const std::string& disk, const std::vector<NamingPartition>& partitions,
                          const std::string& name);

// Whether one of the partitions holds a Windows.
bool holds_windows(const std::string& disk, const std::vector<NamingPartition>& partitions);

}  // namespace kestrelon::client
