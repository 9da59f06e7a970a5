#include "target_table.h"

#include <algorithm>
#include <map>

#include "gpt.h"
#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

constexpr std::uint64_t kMbrLimit = 0xFFFFFFFFu;  // the last sector an MBR entry can reach

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

// Makes the entry in `slot` of an MBR or extended boot record end at `end` (an
// absolute sector, exclusive).
void end_entry_at(image::TableSector& s, int slot, std::uint64_t end) {
  const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
  const std::uint64_t relative_start = read_le32(s.bytes, at + 8);
  const std::uint64_t absolute_start = s.lba == 0 ? relative_start : s.lba + relative_start;
  write_le32(s.bytes, at + 12, static_cast<std::uint32_t>(end - absolute_start));
  put_chs(s, at + 5, end - 1);
}

image::TableSector* sector_at(std::vector<image::TableSector>& sectors, std::uint64_t lba) {
  const auto it = std::find_if(sectors.begin(), sectors.end(), [&](const auto& s) { return s.lba == lba; });
  return it == sectors.end() ? nullptr : &*it;
}

bool grow_mbr(TargetTable& t, std::size_t index, std::uint64_t end, std::string* error) {
  const Partition& p = t.table.partitions[index];
  const EntryPlace place = t.table.entries[index];
  image::TableSector* own = sector_at(t.sectors, place.sector);
  image::TableSector* mbr = sector_at(t.sectors, 0);
  if (!own || !mbr || (p.logical && !t.table.extended_slot))
    return fail(error, "the image's partition table is incomplete");
  if (p.logical) end_entry_at(*mbr, *t.table.extended_slot, end);
  end_entry_at(*own, place.slot, end);
  return true;
}

bool place_gpt(const image::ImageHeader& h, std::uint64_t disk_sectors, std::optional<std::uint32_t> grow,
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
  const auto placed = gpt::fit_to_disk(pmbr->bytes, primary->bytes, entries, disk_sectors, grow, &why);
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

  std::optional<std::size_t> last;
  if (!keep_size && disk_sectors > h.source_sectors && t.table.kind != TableKind::none) {
    for (std::size_t i = 0; i < t.table.partitions.size(); ++i) {
      if (!last || t.table.partitions[i].end_lba() > t.table.partitions[*last].end_lba()) last = i;
    }
  }
  const std::uint64_t end =
      t.table.kind == TableKind::gpt ? disk_sectors - t.table.gpt_tail : std::min(disk_sectors, kMbrLimit);
  if (last && end > t.table.partitions[*last].end_lba()) {
    const Partition& p = t.table.partitions[*last];
    t.growth = Growth{p.number, p.start_lba, p.sectors, end - p.start_lba};
  }

  t.sectors = h.table_sectors;
  if (t.table.kind == TableKind::gpt && (disk_sectors != h.source_sectors || t.growth)) {
    const auto grow = t.growth ? std::optional<std::uint32_t>(t.table.entries[*last].slot) : std::nullopt;
    if (!place_gpt(h, disk_sectors, grow, t.sectors, error)) return std::nullopt;
    if (t.growth && !place_gpt(h, disk_sectors, std::nullopt, t.ungrown, error)) return std::nullopt;
  } else if (t.growth) {
    t.ungrown = t.sectors;
    if (!grow_mbr(t, *last, end, error)) return std::nullopt;
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
  for (const auto& s : h.table_sectors) t.keep_clear.push_back(s.lba);
  for (const auto& s : t.sectors) t.keep_clear.push_back(s.lba);
  std::sort(t.keep_clear.begin(), t.keep_clear.end());
  t.keep_clear.erase(std::unique(t.keep_clear.begin(), t.keep_clear.end()), t.keep_clear.end());
  return t;
}

}  // namespace kestrelon::client
