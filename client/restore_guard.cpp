#include "restore_guard.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "file_system_probe.h"

namespace kestrelon::client {
namespace {

constexpr const char* kMarkerTitle = "KESTRELON BROKEN-OFF COPY\n";
constexpr const char* kMarkerImage = "image: ";
// The sectors a GPT may take at either end of a disk (header and 128 entries),
// wiped whatever the old table says: a backup GPT alone lets a tool rebuild
// the table.
constexpr std::uint64_t kGptSectors = 34;

struct Span {
  std::uint64_t offset = 0, length = 0;
};

FileSystemProbe probe_at(const DiskDevice& disk, std::uint64_t offset, std::uint64_t bytes) {
  std::array<std::uint8_t, kProbeBytes> head{};
  if (offset + head.size() > disk.size_bytes() || !disk.read_at(offset, head)) return {};
  return probe_file_system(head, bytes);
}

// The old file systems' starts and copies: the whole disk's, and each partition's.
void add_file_systems(const DiskDevice& disk, const PartitionTable* table, std::vector<Span>& spans) {
  const auto add = [&](std::uint64_t start, std::uint64_t bytes) {
    for (const ByteRange& r : guard_ranges(probe_at(disk, start, bytes), bytes))
      spans.push_back({start + r.offset, r.length});
  };
  add(0, disk.size_bytes());
  if (!table) return;
  for (const Partition& p : table->partitions) add(p.start_lba * kSectorSize, p.sectors * kSectorSize);
}

}  // namespace

bool is_boot_medium(const DiskDevice& disk) {
  const auto labelled = [&](std::uint64_t start, std::uint64_t bytes) {
    const FileSystemProbe p = probe_at(disk, start, bytes);
    return is_fat(p.kind) && p.label == kBootMediumLabel;
  };
  if (labelled(0, disk.size_bytes())) return true;
  const auto table = disk.partition_table(nullptr);
  if (!table) return false;
  return std::any_of(table->partitions.begin(), table->partitions.end(),
                     [&](const Partition& p) { return labelled(p.start_lba * kSectorSize, p.sectors * kSectorSize); });
}

std::optional<std::string> restore_refusal(const DiskDevice& disk) {
  if (is_boot_medium(disk)) {
    return disk.path() + " holds this PC's boot medium (FAT label " + kBootMediumLabel + "); it is never overwritten";
  }
  return std::nullopt;
}

bool wipe_for_restore(DiskDevice& disk, const std::string& image_name, std::string* error) {
  const std::uint64_t sectors = disk.sectors();
  std::vector<Span> spans;
  spans.push_back({0, std::min(sectors, kGptSectors) * kSectorSize});
  if (sectors > kGptSectors) spans.push_back({(sectors - kGptSectors) * kSectorSize, kGptSectors * kSectorSize});
  const auto table = disk.partition_table(nullptr);
  if (table) {
    for (const std::uint64_t lba : table->table_sectors) spans.push_back({lba * kSectorSize, kSectorSize});
  }
  add_file_systems(disk, table ? &*table : nullptr, spans);

  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
  std::vector<Span> merged;
  for (Span s : spans) {
    s.length = std::min(s.length, disk.size_bytes() > s.offset ? disk.size_bytes() - s.offset : 0);
    if (s.length == 0) continue;
    if (!merged.empty() && s.offset <= merged.back().offset + merged.back().length) {
      merged.back().length = std::max(merged.back().length, s.offset + s.length - merged.back().offset);
    } else {
      merged.push_back(s);
    }
  }
  for (const Span& s : merged) {
    if (!disk.zero_range(s.offset, s.length)) {
      if (error) *error = "wiping the old contents of " + disk.path() + " failed: " + std::strerror(errno);
      return false;
    }
  }
  std::array<std::uint8_t, kSectorSize> marker{};
  const std::string text = std::string(kMarkerTitle) + kMarkerImage + image_name.substr(0, 200) +
                           "\nA copy of this image to this disk did not end: it has no partition table.\n";
  std::copy_n(text.begin(), std::min(text.size(), marker.size() - 2), marker.begin());
  if (sectors == 0 || !disk.write_at(0, marker) || !disk.sync()) {
    if (error) *error = "marking " + disk.path() + " as being restored failed: " + std::strerror(errno);
    return false;
  }
  return true;
}

std::optional<std::string> broken_copy_of(const DiskDevice& disk) {
  std::array<std::uint8_t, kSectorSize> sector{};
  if (disk.size_bytes() < kSectorSize || !disk.read_at(0, sector)) return std::nullopt;
  const std::string text(reinterpret_cast<const char*>(sector.data()), sector.size());
  if (text.rfind(kMarkerTitle, 0) != 0) return std::nullopt;
  const std::size_t at = std::strlen(kMarkerTitle) + std::strlen(kMarkerImage);
  if (text.compare(std::strlen(kMarkerTitle), std::strlen(kMarkerImage), kMarkerImage) != 0) return std::string();
  return text.substr(at, text.find('\n', at) - at);
}

}  // namespace kestrelon::client
