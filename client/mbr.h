#pragma once
// The partition table of a disk: an MBR (the four primary slots and the chain of
// extended boot records that holds the logical partitions) or, behind a
// protective MBR, a GUID partition table (gpt.h).
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
  // Swap, EFI system, recovery, reserved or boot loader partitions: sized for
  // their job, not for data, so a restore onto a larger disk leaves them their size.
  bool fixed_job = false;

  std::uint64_t end_lba() const { return start_lba + sectors; }
  friend bool operator==(const Partition&, const Partition&) = default;
};

enum class TableKind { none, mbr, gpt };

// Where a partition's own entry lies, for a restore that grows it: an MBR or
// extended boot record sector and its slot, or a GPT entry's index.
struct EntryPlace {
  std::uint64_t sector = 0;
  int slot = 0;
};

struct PartitionTable {
  TableKind kind = TableKind::none;
  // Data partitions (primary and logical, not the extended containers), in
  // partition-number order.
  std::vector<Partition> partitions;
  // Each partition's entry, in the same order.
  std::vector<EntryPlace> entries;
  // LBAs of the sectors that hold the table, in ascending order: 0 (the MBR) and
  // every extended boot record; for a GPT also the header, its entries and their
  // backups at the end of the disk. Empty when the disk has no MBR signature.
  std::vector<std::uint64_t> table_sectors;
  // The sectors the table's contents reach: past every partition, extended
  // container and table sector, the GPT's backup left out (it moves with the
  // end of the disk). A GPT needs `gpt_tail` sectors more at the end.
  std::uint64_t extent = 0;
  std::uint64_t gpt_tail = 0;
  // The extended container's MBR slot (0-3), when there is one.
  std::optional<int> extended_slot;
};

bool is_extended_type(std::uint8_t type);
// The MBR types of partitions sized for their job (Partition::fixed_job).
bool is_fixed_job_type(std::uint8_t type);

// Reads one 512-byte sector; false when it cannot be read.
using SectorReader = std::function<bool(std::uint64_t lba, std::span<std::uint8_t, kSectorSize> sector)>;

// A disk without the 0x55AA signature has no partitions (an empty disk). A
// partition outside the disk, a broken or looping extended chain, a GPT whose
// header and entries fail their checks, or an unreadable table sector is an
// error with a message naming it. The type byte of a GPT partition is its MBR
// counterpart (gpt::type_byte); a basic data partition holding FAT says which FAT.
std::optional<PartitionTable> read_partition_table(const SectorReader& read, std::uint64_t disk_sectors,
                                                   std::string* error);

}  // namespace kestrelon::client
