#include "target_table.h"

#include <algorithm>
#include <map>

#include "gpt.h"
#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

constexpr std::uint64_t kMbrLimit = 0xFFFFFFFFu;  // the last sector an MBR entry can reach
constexpr std::uint64_t kMoveStep = 2048;         // partitions move by whole MiB

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// A sector as the old cylinder/head/sector triple of 255 heads and 63 sectors a
// track; past the last cylinder, the usual "beyond" value.
void put_chs(image::TableSector& s, std::size_t at, std::uint64_t lba) {
  constexpr std::uint64_t kHeads = 255, kPerTrack = 63;
  if (lba >= 1024 * kHeads * kPerTrack) {
    s.bytes[at] = 0xFE;
    s.bytes[at + 1] = 0xFF;
    s.bytes[at + 2] = 0xFF;
    return;
  }
  const std::uint64_t cylinder = lba / (kHeads * kPerTrack);
  s.bytes[at] = static_cast<std::uint8_t>((lba / kPerTrack) % kHeads);
  s.bytes[at + 1] = static_cast<std::uint8_t>((lba % kPerTrack + 1) | ((cylinder >> 2) & 0xC0));
  s.bytes[at + 2] = static_cast<std::uint8_t>(cylinder);
}

// The image's MBR and extended boot records placed as `shift` moves the layout:
// each record where its sectors go, each entry's start and end moved with them.
// A logical partition's entry counts from its own record, a record's link to the
// next from the extended partition's start, a primary entry from the disk's.
// With `keep_grown`, an entry ending where the grown partition ends keeps that
// end: the grown partition at its old size.
bool relay_mbr(const image::ImageHeader& h, const PartitionTable& table, const LayoutShift& shift, bool keep_grown,
               std::vector<image::TableSector>& out, std::string* error) {
  const auto mbr = std::find_if(h.table_sectors.begin(), h.table_sectors.end(), [](const auto& s) { return s.lba == 0; });
  if (mbr == h.table_sectors.end()) return fail(error, "the image's partition table is incomplete");
  const std::uint64_t ext_start =
      table.extended_slot ? read_le32(mbr->bytes, 446 + 16 * static_cast<std::size_t>(*table.extended_slot) + 8) : 0;
  out.clear();
  for (const image::TableSector& old : h.table_sectors) {
    image::TableSector s = old;
    s.lba = shift.map(old.lba);
    for (int slot = 0; slot < 4; ++slot) {
      const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
      const std::uint64_t size = read_le32(old.bytes, at + 12);
      if (old.bytes[at + 4] == 0 || size == 0) continue;
      const bool link = old.lba != 0 && is_extended_type(old.bytes[at + 4]);
      const std::uint64_t base = old.lba == 0 ? 0 : link ? ext_start : old.lba;
      const std::uint64_t new_base = old.lba == 0 ? 0 : link ? shift.map(ext_start) : s.lba;
      const std::uint64_t start = base + read_le32(old.bytes, at + 8), end = start + size;
      const std::uint64_t new_start = shift.map(start);
      const std::uint64_t new_end = keep_grown && end == shift.boundary ? end : shift.map(end);
      if (new_end > kMbrLimit) return fail(error, "the moved partition table does not fit an MBR");
      write_le32(s.bytes, at + 8, static_cast<std::uint32_t>(new_start - new_base));
      write_le32(s.bytes, at + 12, static_cast<std::uint32_t>(new_end - new_start));
      put_chs(s, at + 1, new_start);
      put_chs(s, at + 5, new_end - 1);
    }
    out.push_back(s);
  }
  return true;
}

bool place_gpt(const image::ImageHeader& h, std::uint64_t disk_sectors, const gpt::Relay& relay,
               std::vector<image::TableSector>& out, std::string* error) {
  const auto find = [&](std::uint64_t lba) -> const image::TableSector* {
    for (const auto& s : h.table_sectors) {
      if (s.lba == lba) return &s;
    }
    return nullptr;
  };
  const image::TableSector* pmbr = find(0);
  const image::TableSector* primary = find(gpt::kPrimaryLba);
  std::string why;
  const auto header = primary ? gpt::parse_header(primary->bytes, &why) : std::nullopt;
  if (!pmbr || !header) return fail(error, "the image's GPT is incomplete");
  std::vector<std::uint8_t> entries;
  for (std::uint64_t k = 0; k < header->entry_sectors(); ++k) {
    const image::TableSector* s = find(header->entries_lba + k);
    if (!s) return fail(error, "the image's GPT is incomplete");
    entries.insert(entries.end(), s->bytes.begin(), s->bytes.end());
  }
  const auto placed = gpt::fit_to_disk(pmbr->bytes, primary->bytes, entries, disk_sectors, relay, &why);
  if (!placed) return fail(error, why);
  out.clear();
  for (const auto& p : *placed) out.push_back(image::TableSector{p.lba, p.bytes});
  return true;
}

}  // namespace

std::optional<TargetTable> fit_table(const image::ImageHeader& h, std::uint64_t disk_sectors, bool keep_size,
                                     std::string* error) {
  TargetTable t;
  std::map<std::uint64_t, const image::TableSector*> saved;
  for (const auto& s : h.table_sectors) saved[s.lba] = &s;
  // The image's table as it lay on the source disk; sectors it did not keep read as zeros.
  const auto reader = [&](std::uint64_t lba, std::span<std::uint8_t, kSectorSize> out) {
    const auto it = saved.find(lba);
    if (it == saved.end()) {
      std::fill(out.begin(), out.end(), 0);
    } else {
      std::copy(it->second->bytes.begin(), it->second->bytes.end(), out.begin());
    }
    return true;
  };
  std::string why;
  auto table = read_partition_table(reader, h.source_sectors, &why);
  if (!table) {
    fail(error, "the image's partition table is damaged: " + why);
    return std::nullopt;
  }
  t.table = std::move(*table);
  t.needed_sectors = t.table.extent + t.table.gpt_tail;
  for (const image::Area& a : h.areas) t.needed_sectors = std::max(t.needed_sectors, a.start_lba + a.sectors);
  if (t.needed_sectors > disk_sectors) {
    fail(error, "the image needs " + std::to_string(t.needed_sectors) + " sectors, but the disk has " +
                    std::to_string(disk_sectors));
    return std::nullopt;
  }

  // The last data partition takes the room (see the header).
  std::optional<std::size_t> grown;
  if (!keep_size && disk_sectors > h.source_sectors && t.table.kind != TableKind::none) {
    for (std::size_t i = 0; i < t.table.partitions.size(); ++i) {
      const Partition& p = t.table.partitions[i];
      if (!p.fixed_job && (!grown || p.start_lba > t.table.partitions[*grown].start_lba)) grown = i;
    }
  }
  const std::uint64_t usable_end =
      t.table.kind == TableKind::gpt ? disk_sectors - t.table.gpt_tail : std::min(disk_sectors, kMbrLimit);
  if (grown) {
    const Partition& p = t.table.partitions[*grown];
    std::uint64_t room = usable_end > t.table.extent ? usable_end - t.table.extent : 0;
    if (t.table.extent > p.end_lba()) room -= room % kMoveStep;  // what follows keeps its alignment
    if (room > 0) {
      t.shift = LayoutShift{p.end_lba(), room};
      t.growth = Growth{p.number, p.start_lba, p.sectors, p.sectors + room};
    }
  }

  t.sectors = h.table_sectors;
  const LayoutShift shift = t.shift;
  const auto relay = [shift](bool keep_grown) -> gpt::Relay {
    return [shift, keep_grown](std::uint64_t& first, std::uint64_t& last) {
      const std::uint64_t end = last + 1;
      first = shift.map(first);
      last = (keep_grown && end == shift.boundary ? end : shift.map(end)) - 1;
    };
  };
  if (t.table.kind == TableKind::gpt && (disk_sectors != h.source_sectors || t.growth)) {
    if (!place_gpt(h, disk_sectors, relay(false), t.sectors, error)) return std::nullopt;
    if (t.growth && !place_gpt(h, disk_sectors, relay(true), t.ungrown, error)) return std::nullopt;
  } else if (t.growth) {
    if (!relay_mbr(h, t.table, shift, true, t.ungrown, error)) return std::nullopt;
    if (!relay_mbr(h, t.table, shift, false, t.sectors, error)) return std::nullopt;
  }
  // A sector written past the end would grow a disk file, and fail on a device
  // only once everything else had been written.
  for (const auto& s : t.sectors) {
    if (s.lba >= disk_sectors) {
      fail(error, "the image's partition table has a sector (" + std::to_string(s.lba) +
                      ") at or past the end of the disk (" + std::to_string(disk_sectors) + " sectors)");
      return std::nullopt;
    }
  }
  for (const auto& s : h.table_sectors) t.keep_clear.push_back(t.shift.map(s.lba));
  for (const auto& s : t.sectors) t.keep_clear.push_back(s.lba);
  std::sort(t.keep_clear.begin(), t.keep_clear.end());
  t.keep_clear.erase(std::unique(t.keep_clear.begin(), t.keep_clear.end()), t.keep_clear.end());
  return t;
}

}  // namespace kestrelon::client
