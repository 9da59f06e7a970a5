#include "mbr.h"

#include <array>

#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

constexpr std::size_t kEntries = 446;
constexpr std::size_t kEntrySize = 16;
// A chain longer than this is taken for a loop or garbage.
constexpr int kMaxLogical = 128;

struct RawEntry {
  std::uint8_t boot;
  std::uint8_t type;
  std::uint32_t lba;
  std::uint32_t sectors;
};

RawEntry entry(std::span<const std::uint8_t> sector, int slot) {
  const auto e = sector.subspan(kEntries + kEntrySize * static_cast<std::size_t>(slot), kEntrySize);
  return RawEntry{e[0], e[4], read_le32(e, 8), read_le32(e, 12)};
}

bool has_signature(std::span<const std::uint8_t> sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

bool inside(std::uint64_t start, std::uint64_t sectors, std::uint64_t limit) {
  return start <= limit && sectors <= limit - start;
}

}  // namespace

bool is_extended_type(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

std::optional<PartitionTable> read_partition_table(const SectorReader& read, std::uint64_t disk_sectors,
                                                   std::string* error) {
  PartitionTable table;
  std::array<std::uint8_t, kSectorSize> mbr{};
  if (disk_sectors == 0) return table;
  if (!read(0, mbr)) {
    fail(error, "cannot read the partition table (sector 0)");
    return std::nullopt;
  }
  if (!has_signature(mbr)) return table;
  table.table_sectors.push_back(0);

  std::vector<Partition> logical;
  bool seen_extended = false;
  for (int slot = 0; slot < 4; ++slot) {
    const RawEntry e = entry(mbr, slot);
    if (e.type == 0 || e.sectors == 0) continue;
    if (!inside(e.lba, e.sectors, disk_sectors)) {
      fail(error, "partition " + std::to_string(slot + 1) + " lies outside the disk");
      return std::nullopt;
    }
    if (!is_extended_type(e.type)) {
      table.partitions.push_back(
          Partition{static_cast<std::uint8_t>(slot + 1), e.boot, e.type, false, e.lba, e.sectors});
      continue;
    }
    if (seen_extended) {
      fail(error, "the disk has more than one extended partition");
      return std::nullopt;
    }
    seen_extended = true;
    // Walk the chain. Each record's first entry is a logical partition relative to
    // the record; its second points at the next record, relative to the extended
    // partition's start. Records must move forward, which also rules out loops.
    const std::uint64_t ext_start = e.lba;
    const std::uint64_t ext_end = std::uint64_t{e.lba} + e.sectors;
    std::uint64_t ebr = ext_start;
    for (int n = 0;; ++n) {
      if (n == kMaxLogical) {
        fail(error, "the extended partition chain is too long");
        return std::nullopt;
      }
      std::array<std::uint8_t, kSectorSize> sector{};
      if (!read(ebr, sector)) {
        fail(error, "cannot read the extended boot record at sector " + std::to_string(ebr));
        return std::nullopt;
      }
      if (!has_signature(sector)) {
        // An extended partition whose first record was never written holds nothing.
        if (ebr == ext_start) break;
        fail(error, "the extended boot record at sector " + std::to_string(ebr) + " has no signature");
        return std::nullopt;
      }
      table.table_sectors.push_back(ebr);
      const RawEntry part = entry(sector, 0);
      if (part.type != 0 && part.sectors != 0) {
        const std::uint64_t start = ebr + part.lba;
        if (!inside(start, part.sectors, ext_end)) {
          fail(error, "logical partition " + std::to_string(5 + logical.size()) +
                          " lies outside its extended partition");
          return std::nullopt;
        }
        logical.push_back(Partition{static_cast<std::uint8_t>(5 + logical.size()), part.boot, part.type, true,
                                    start, part.sectors});
      }
      const RawEntry next = entry(sector, 1);
      if (!is_extended_type(next.type) || next.lba == 0) break;
      const std::uint64_t next_ebr = ext_start + next.lba;
      if (next_ebr <= ebr || next_ebr >= ext_end) {
        fail(error, "the extended partition chain points backwards or outside at sector " + std::to_string(ebr));
        return std::nullopt;
      }
      ebr = next_ebr;
    }
  }
  table.partitions.insert(table.partitions.end(), logical.begin(), logical.end());
  return table;
}

}  // namespace kestrelon::client
