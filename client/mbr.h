#pragma once
// The partition table of a disk with an MBR: the four primary slots and the chain
// of extended boot records that holds the logical partitions.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrelon::client {

inline constexpr std::uint32_t kSectorSize = 512;

struct Partition {
  std::uint8_t number = 0;  // 1..4 for primary slots, 5 upwards for logical ones
  std::uint8_t boot = 0;    // 0x80 = active
  std::uint8_t type = 0;
  bool logical = false;
  std::uint64_t start_lba = 0;
  std::uint64_t sectors = 0;

  std::uint64_t end_lba() const { return start_lba + sectors; }
  friend bool operator==(const Partition&, const Partition&) = default;
};

struct PartitionTable {
  // Data partitions (primary and logical, not the extended containers), in
  // partition-number order.
  std::vector<Partition> partitions;
  // LBAs of the sectors that hold the table: 0 (the MBR) and every extended boot
  // record. Empty when the disk has no MBR signature.
  std::vector<std::uint64_t> table_sectors;
};

bool is_extended_type(std::uint8_t type);

// Reads one 512-byte sector; false when it cannot be read.
using SectorReader = std::function<bool(std::uint64_t lba, std::span<std::uint8_t, kSectorSize> sector)>;

// A disk without the 0x55AA signature has no partitions (an empty disk). A
// partition outside the disk, a broken or looping extended chain, or an unreadable
// table sector is an error with a message naming it.
std::optional<PartitionTable> read_partition_table(const SectorReader& read, std::uint64_t disk_sectors,
                                                   std::string* error);

}  // namespace kestrelon::client
