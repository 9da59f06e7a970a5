#include "file_system_probe.h"

#include <algorithm>
#include <cstring>

#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

// A file system without sparse superblocks keeps a copy in every group; past
// this many, the first ones are enough to defeat a checker's search.
constexpr std::size_t kMaxCopies = 4096;

bool text_at(std::span<const std::uint8_t> b, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return b.size() >= at + n && std::memcmp(b.data() + at, text, n) == 0;
}

bool power_of(std::uint64_t n, std::uint64_t base) {
  while (n > 1 && n % base == 0) n /= base;
  return n == 1;
}

void probe_ext(std::span<const std::uint8_t> head, std::uint64_t size, FileSystemProbe& p) {
  const auto sb = head.subspan(1024, 1024);
  if (read_le16(sb, 0x38) != 0xEF53) return;
  const std::uint32_t log_block = read_le32(sb, 0x18);
  const std::uint32_t per_group = read_le32(sb, 0x20);
  if (log_block > 6 || per_group == 0) return;
  p.kind = FileSystemKind::ext;
  const std::uint64_t block = std::uint64_t{1024} << log_block;
  const std::uint32_t compat = read_le32(sb, 0x5C), incompat = read_le32(sb, 0x60), ro_compat = read_le32(sb, 0x64);
  std::uint64_t blocks = read_le32(sb, 0x04);
  if (incompat & 0x80) blocks |= std::uint64_t{read_le32(sb, 0x150)} << 32;  // 64-bit block numbers
  const std::uint64_t first = read_le32(sb, 0x14);
  p.bytes = blocks * block;
  if (blocks <= first) return;
  const std::uint64_t groups = (blocks - first + per_group - 1) / per_group;
  const auto has_copy = [&](std::uint64_t g) {
    if (compat & 0x200) return g == read_le32(sb, 0x24C) || g == read_le32(sb, 0x250);  // two chosen groups
    if (ro_compat & 0x1) return g == 1 || power_of(g, 3) || power_of(g, 5) || power_of(g, 7);
    return true;
  };
  for (std::uint64_t g = 1; g < groups && p.copies.size() < kMaxCopies; ++g) {
    const std::uint64_t at = (first + g * per_group) * block;
    if (has_copy(g) && at + 1024 <= size) p.copies.push_back({at, 1024});
  }
}

void probe_ntfs(std::span<const std::uint8_t> head, std::uint64_t size, FileSystemProbe& p) {
  if (!text_at(head, 3, "NTFS    ")) return;
  p.kind = FileSystemKind::ntfs;
  const std::uint64_t sector = read_le16(head, 0x0B);
  const std::uint64_t sectors = read_le32(head, 0x28) | (std::uint64_t{read_le32(head, 0x2C)} << 32);
  // The backup boot sector follows the volume: the partition's last sector.
  if (sector >= 256 && sector <= 4096 && sectors < size / sector) p.copies.push_back({sectors * sector, sector});
  p.bytes = sectors * sector;
}

void probe_fat(std::span<const std::uint8_t> head, FileSystemProbe& p) {
  if (head[510] != 0x55 || head[511] != 0xAA || (head[0] != 0xEB && head[0] != 0xE9)) return;
  const std::uint32_t bytes = read_le16(head, 0x0B);
  const std::uint32_t per_cluster = head[0x0D];
  const std::uint32_t reserved = read_le16(head, 0x0E);
  const std::uint32_t fats = head[0x10];
  if ((bytes != 512 && bytes != 1024 && bytes != 2048 && bytes != 4096) || per_cluster == 0 ||
      (per_cluster & (per_cluster - 1)) != 0 || reserved == 0 || fats == 0 || fats > 4) {
    return;
  }
  const std::uint64_t fat_size = read_le16(head, 0x16) != 0 ? read_le16(head, 0x16) : read_le32(head, 0x24);
  const std::uint64_t total = read_le16(head, 0x13) != 0 ? read_le16(head, 0x13) : read_le32(head, 0x20);
  const std::uint64_t root = (std::uint64_t{read_le16(head, 0x11)} * 32 + bytes - 1) / bytes;
  const std::uint64_t meta = reserved + fats * fat_size + root;
  if (fat_size == 0 || total <= meta) return;
  const std::uint64_t clusters = (total - meta) / per_cluster;
  p.kind = clusters < 4085 ? FileSystemKind::fat12 : clusters < 65525 ? FileSystemKind::fat16 : FileSystemKind::fat32;
  p.bytes = total * bytes;
  const std::size_t signature = p.kind == FileSystemKind::fat32 ? 0x42 : 0x26;
  if (head[signature] == 0x29) {
    p.label_offset = signature + 5;
    std::string label(reinterpret_cast<const char*>(head.data() + signature + 5), 11);
    label.erase(label.find_last_not_of(' ') + 1);
    if (label != "NO NAME") p.label = label;
  }
}

// Linux swap: its signature ends the first page, whatever the page size.
void probe_swap(std::span<const std::uint8_t> head, std::uint64_t size, FileSystemProbe& p) {
  for (std::size_t page = 4096; page <= 65536 && page <= head.size(); page *= 2) {
    if (!text_at(head, page - 10, "SWAPSPACE2")) continue;
    p.kind = FileSystemKind::swap;
    p.page_size = page;
    p.bytes = (std::uint64_t{read_le32(head, 1028)} + 1) * page;  // the last page it uses, counted from 0
    if (p.bytes > size) p.bytes = size;
    return;
  }
}

}  // namespace

FileSystemProbe probe_file_system(std::span<const std::uint8_t> head, std::uint64_t partition_bytes) {
  FileSystemProbe p;
  if (head.size() < kProbeBytes) return p;
  probe_ext(head, partition_bytes, p);
  if (p.kind == FileSystemKind::unknown) probe_ntfs(head, partition_bytes, p);
  if (p.kind == FileSystemKind::unknown && text_at(head, 3, "EXFAT   ")) p.kind = FileSystemKind::exfat;
  if (p.kind == FileSystemKind::unknown) probe_fat(head, p);
  if (p.kind == FileSystemKind::unknown) probe_swap(head, partition_bytes, p);
  return p;
}

const char* file_system_name(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::ext: return "ext2/3/4";
    case FileSystemKind::ntfs: return "NTFS";
    case FileSystemKind::fat12: return "FAT12";
    case FileSystemKind::fat16: return "FAT16";
    case FileSystemKind::fat32: return "FAT32";
    case FileSystemKind::exfat: return "exFAT";
    case FileSystemKind::swap: return "swap";
    case FileSystemKind::unknown: break;
  }
  return "unknown";
}

bool is_fat(FileSystemKind kind) {
  return kind == FileSystemKind::fat12 || kind == FileSystemKind::fat16 || kind == FileSystemKind::fat32;
}

std::vector<ByteRange> guard_ranges(const FileSystemProbe& probe, std::uint64_t partition_bytes) {
  std::vector<ByteRange> ranges;
  if (partition_bytes == 0) return ranges;
  ranges.push_back({0, std::min(kHeadGuard, partition_bytes)});
  for (const ByteRange& r : probe.copies) {
    if (r.offset >= partition_bytes) continue;
    ranges.push_back({r.offset, std::min(r.length, partition_bytes - r.offset)});
  }
  return ranges;
}

}  // namespace kestrelon::client
