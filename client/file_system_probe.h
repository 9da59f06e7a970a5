#pragma once
// What file system a partition holds, judged from its first bytes: which tool
// can grow it, where it keeps copies of its superblock or boot sector, and its
// volume label. A restore uses the copies to keep a half-written disk from
// passing for a file system: it wipes the old ones before it writes anything and
// holds the new ones back until the image has ended whole.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrelon::client {

enum class FileSystemKind { unknown, ext, ntfs, fat12, fat16, fat32, exfat, swap };

// What a probe reads of a partition's start.
inline constexpr std::size_t kProbeBytes = 4096;
// The start of every partition that a restore wipes first and writes last: it
// holds the superblock or boot sector of every file system this Client knows
// and of most others (a few keep theirs at 64 KiB).
inline constexpr std::uint64_t kHeadGuard = 128 * 1024;

struct ByteRange {
  std::uint64_t offset = 0;  // from the partition's start
  std::uint64_t length = 0;
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

struct FileSystemProbe {
  FileSystemKind kind = FileSystemKind::unknown;
  std::uint64_t bytes = 0;        // the size the file system gives itself
  std::string label;              // FAT volume label, without trailing spaces
  std::size_t label_offset = 0;   // where a FAT boot sector keeps it (0: none)
  std::vector<ByteRange> copies;  // backup superblocks or boot sectors past the head
  std::size_t page_size = 0;      // swap: the page size its header was made for
};

// `head`: the partition's first bytes (kProbeBytes or more; fewer reads as
// unknown; swap made for pages larger than 4 KiB needs a head that long);
// `partition_bytes`: its size.
FileSystemProbe probe_file_system(std::span<const std::uint8_t> head, std::uint64_t partition_bytes);

const char* file_system_name(FileSystemKind kind);
bool is_fat(FileSystemKind kind);

// The head and the copies, each cut to the partition.
std::vector<ByteRange> guard_ranges(const FileSystemProbe& probe, std::uint64_t partition_bytes);

}  // namespace kestrelon::client
