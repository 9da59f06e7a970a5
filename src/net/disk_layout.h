#pragma once
// A Client's disks and partitions as it announces them. Capacities are fixed: a
// Client record holds at most 4 disks of at most 12 partitions each.
#include <array>
#include <cstdint>

namespace kestrelon {

inline constexpr int kMaxDisks = 4;
inline constexpr int kMaxPartitions = 12;

struct PartitionEntry {
  std::uint8_t number = 0;     // shown in hexadecimal
  std::uint8_t type = 0;       // partition-table system identifier
  std::uint8_t boot = 0;       // 0x80 = active
  std::uint8_t logical = 0;    // non-zero inside an extended partition
  std::uint32_t first_extra = 0;   // stored, not interpreted
  std::uint32_t size_sectors = 0;  // 512-byte sectors
  std::uint32_t second_extra = 0;  // stored, not interpreted

  friend bool operator==(const PartitionEntry&, const PartitionEntry&) = default;
};

struct DiskEntry {
  std::uint16_t bios_number = 0;  // 0x80 for the first hard disk
  std::uint16_t geometry1 = 0;    // the three geometry words are stored, not interpreted
  std::uint16_t geometry3 = 0;
  std::uint16_t geometry2 = 0;
  std::uint32_t size_sectors = 0;
  int partition_count = 0;  // 0 to 12
  std::array<PartitionEntry, kMaxPartitions> partitions{};

  friend bool operator==(const DiskEntry&, const DiskEntry&) = default;
};

}  // namespace kestrelon
