#include "mbr.h"

#include <algorithm>
#include <array>

#include "file_system_probe.h"
#include "gpt.h"
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

// A basic data partition may hold NTFS, exFAT or FAT; announced as the MBR type
// its file system would have, so the Controller names FAT as FAT.
std::uint8_t basic_data_type(const SectorReader& read, std::uint64_t start, std::uint64_t sectors) {
  std::array<std::uint8_t, kProbeBytes> head{};
  for (std::uint64_t k = 0; k < kProbeBytes / kSectorSize; ++k) {
    if (!read(start + k, std::span<std::uint8_t, kSectorSize>(head.data() + k * kSectorSize, kSectorSize))) return 0x07;
  }
  switch (probe_file_system(head, sectors * kSectorSize).kind) {
    case FileSystemKind::fat12: return 0x01;
    case FileSystemKind::fat16: return 0x0E;
    case FileSystemKind::fat32: return 0x0C;
    default: return 0x07;
  }
}

// The GPT behind a protective MBR: its primary header and entries must be sound;
// the backup's sectors are listed where the primary says it lies.
bool read_gpt(const SectorReader& read, std::uint64_t disk_sectors, PartitionTable& table, std::string* error) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (disk_sectors < 3 || !read(gpt::kPrimaryLba, sector)) return fail(error, "cannot read the GPT header (sector 1)");
  std::string why;
  const auto header = gpt::parse_header(sector, &why);
  if (!header) return fail(error, why);
  const std::uint64_t entry_sectors = header->entry_sectors();
  if (header->my_lba != gpt::kPrimaryLba || header->entries_lba < 2 ||
      header->entries_lba + entry_sectors > header->first_usable || header->last_usable >= disk_sectors ||
      header->alternate_lba >= disk_sectors || header->alternate_lba <= header->last_usable + entry_sectors) {
    return fail(error, "the GPT header does not fit the disk");
  }
  std::vector<std::uint8_t> array(entry_sectors * kSectorSize);
  for (std::uint64_t k = 0; k < entry_sectors; ++k) {
    const auto sector_bytes = std::span<std::uint8_t, kSectorSize>(array.data() + k * kSectorSize, kSectorSize);
    if (!read(header->entries_lba + k, sector_bytes)) {
      return fail(error, "cannot read the GPT entries at sector " + std::to_string(header->entries_lba + k));
    }
  }
  const auto entries = gpt::parse_entries(*header, array, &why);
  if (!entries) return fail(error, why);
  table.kind = TableKind::gpt;
  table.table_sectors = {0, gpt::kPrimaryLba};
  for (std::uint64_t k = 0; k < entry_sectors; ++k) table.table_sectors.push_back(header->entries_lba + k);
  const std::uint64_t backup_entries = header->alternate_lba - entry_sectors;
  for (std::uint64_t k = 0; k < entry_sectors; ++k) table.table_sectors.push_back(backup_entries + k);
  table.table_sectors.push_back(header->alternate_lba);
  table.extent = header->entries_lba + entry_sectors;
  table.gpt_tail = entry_sectors + 1;
  for (const gpt::Entry& e : *entries) {
    if (e.index > 0xFE) return fail(error, "GPT partition " + std::to_string(e.index + 1) + " has too high a number");
    const std::uint64_t sectors = e.last_lba - e.first_lba + 1;
    const std::uint8_t type =
        gpt::is_basic_data(e.type) ? basic_data_type(read, e.first_lba, sectors) : gpt::type_byte(e.type);
    table.partitions.push_back(Partition{static_cast<std::uint8_t>(e.index + 1),
                                         static_cast<std::uint8_t>(e.legacy_bootable() ? 0x80 : 0), type, false,
                                         e.first_lba, sectors, gpt::is_fixed_job(e.type)});
    table.entries.push_back(EntryPlace{gpt::kPrimaryLba, static_cast<int>(e.index)});
    table.extent = std::max(table.extent, e.last_lba + 1);
  }
  return true;
}

}  // namespace

bool is_extended_type(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool is_fixed_job_type(std::uint8_t type) {
  // Linux swap, EFI system, Windows recovery, vendor diagnostics and recovery
  // (Compaq, Dell), hibernation.
  switch (type) {
    case 0x82: case 0xEF: case 0x27: case 0x12: case 0xDE: case 0x84: case 0xA0: return true;
    default: return false;
  }
}

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
  if (gpt::is_protective_mbr(mbr)) {
    if (!read_gpt(read, disk_sectors, table, error)) {
      if (error) *error = "GPT: " + *error;
      return std::nullopt;
    }
    return table;
  }
  table.kind = TableKind::mbr;
  table.table_sectors.push_back(0);
  table.extent = 1;
  std::vector<EntryPlace> logical_entries;

  std::vector<Partition> logical;
  bool seen_extended = false;
  for (int slot = 0; slot < 4; ++slot) {
    const RawEntry e = entry(mbr, slot);
    if (e.type == 0 || e.sectors == 0) continue;
    if (!inside(e.lba, e.sectors, disk_sectors)) {
      fail(error, "partition " + std::to_string(slot + 1) + " lies outside the disk");
      return std::nullopt;
    }
    table.extent = std::max(table.extent, std::uint64_t{e.lba} + e.sectors);
    if (!is_extended_type(e.type)) {
      table.partitions.push_back(Partition{static_cast<std::uint8_t>(slot + 1), e.boot, e.type, false, e.lba,
                                           e.sectors, is_fixed_job_type(e.type)});
      table.entries.push_back(EntryPlace{0, slot});
      continue;
    }
    if (seen_extended) {
      fail(error, "the disk has more than one extended partition");
      return std::nullopt;
    }
    seen_extended = true;
    table.extended_slot = slot;
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
                                    start, part.sectors, is_fixed_job_type(part.type)});
        logical_entries.push_back(EntryPlace{ebr, 0});
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
  table.entries.insert(table.entries.end(), logical_entries.begin(), logical_entries.end());
  return table;
}

}  // namespace kestrelon::client
