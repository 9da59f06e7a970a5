#pragma once
// An image file as the Controller sees it: a flat byte sequence of which it
// reads only the description, the partition summary and the length, and which
// it sends as numbered 1350-byte blocks. Everything else belongs to the Clients.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "net/wire_format.h"

namespace kestrelon {

namespace image {

inline constexpr std::size_t kDescriptionOffset = 256;
inline constexpr std::size_t kInformationLength = 768;  // the description ends before this byte
inline constexpr std::size_t kSummaryOffset = 5512;
inline constexpr std::size_t kSummaryLength = 1832;
inline constexpr std::size_t kHeaderLength = kSummaryOffset + kSummaryLength;  // 7344
// Offsets inside the summary block (file offset minus 5512).
inline constexpr std::size_t kCountInSummary = 5513 - kSummaryOffset;
inline constexpr std::size_t kFullSizeInSummary = 7066 - kSummaryOffset;
inline constexpr std::size_t kDataSizeInSummary = 7070 - kSummaryOffset;
inline constexpr std::size_t kEntryStride = 24;
inline constexpr int kMaxPartitions = 12;

inline constexpr std::size_t kBlockSize = wire::kBlockSize;

// Blocks of a file of `length` bytes: the length divided by 1350, rounded up.
constexpr std::uint64_t block_count(std::uint64_t length) { return (length + kBlockSize - 1) / kBlockSize; }
constexpr std::uint64_t block_offset(std::uint64_t block) { return block * kBlockSize; }

// The description: bytes 256 up to the first zero byte, never past byte 767.
// `first_bytes` may be shorter than 768 bytes (a short file); what is there is used.
std::string description_of(std::span<const std::uint8_t> first_bytes);

struct PartitionSummary {
  int count = 0;  // 0 to 12
  std::array<std::uint32_t, kMaxPartitions> full_sectors{};
  std::array<std::uint32_t, kMaxPartitions> data_sectors{};

  // Summed size in 512-byte sectors for the disk space check: the full sizes
  // when the partition sizes are kept, the data sizes otherwise. 64 bits wide, so
  // twelve large partitions cannot wrap around to a small sum that would pass.
  std::uint64_t summed_sectors(bool keep_partition_size) const;
};

// Decodes the 1832-byte summary block. A count above 12 is refused (nullopt):
// the Controller's own uploads never produce one, so the file is damaged or not
// an image, and sending it would overwrite the targets' disks with it.
std::optional<PartitionSummary> decode_summary(std::span<const std::uint8_t, kSummaryLength> block);

// "File : %s\r\nFile size : %ldMb\r\n\r\n%s": name as listed, whole MiB, description.
std::string information_text(const std::string& name, std::uint64_t length, const std::string& description);

}  // namespace image

// The outcome of reading an image's partition summary: the summary, or the
// message that explains why the file cannot be copied.
struct SummaryRead {
  std::optional<image::PartitionSummary> summary;
  std::string error;
};

// An image file open for reading. Reads are positioned (no shared file position),
// so the copy worker and the user-interface thread never disturb each other.
class ImageFile {
 public:
  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens `path` for reading; returns 0 or the system's error number (EINVAL
  // for anything but a regular file, EISDIR for a folder), never waiting.
  int open(const std::string& path);
  void close();
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // The file's name without its folder.
  std::string name() const;

  // The length from the file status now, or nullopt when it cannot be had.
  std::optional<std::uint64_t> length() const;

  // Reads up to `out.size()` bytes at `offset`; returns the count (short only at
  // the end of the file) or -1 on a read error.
  long read_at(std::uint64_t offset, std::span<std::uint8_t> out) const;

  // Reads block `block` (1350 bytes, fewer for the last block). Returns the count,
  // or -1 on a read error. A block at or past the end reads as 0 bytes.
  long read_block(std::uint64_t block, std::span<std::uint8_t, image::kBlockSize> out) const {
    return read_at(image::block_offset(block), out);
  }

  // The partition summary at byte 5512, with a message when the file is too short
  // to hold it, cannot be read, or claims more than 12 partitions.
  SummaryRead read_summary() const;

  // The description from the first 768 bytes (empty when unreadable).
  std::string description() const;

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace kestrelon
