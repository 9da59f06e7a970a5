#pragma once
// The layout of the image files the reference Client writes and restores. The
// Controller reads only the description area (256-767), the partition count
// (5513) and the two size fields of each partition entry (7066 + 24k,
// 7070 + 24k); everything else is the Client's own:
//
//   0    4  signature "KRNI"
//   4    4  image length, low 32 bits (LE). Filled in by the Controller's link
//           patch at the end of the upload, and written by the Client as well.
//   8    4  image length, high 32 bits (LE)
//   12   2  format version (1, 2 or 3; written: 3)
//   14   2  flags: bit 0 = every sector (sector-by-sector), bit 1 = GPT disk
//   16   4  data offset: where the chunk stream starts
//   20   2  compression level asked for (0 = stored)
//   22   2  number of saved table sectors
//   24   8  size of the source disk in sectors
//   32   4  chunk size in bytes (65536)
//   36   2  versions 2 and 3: number of areas
//   38   8  version 3: XXH3-64 of the header area (up to the data offset) with
//           the bytes others write later (4-11, the length; 256-767, the
//           description) and these 8 counted as zeros
//   256  512 description (zero; the Controller writes the user's text here)
//   5512 1  summary version (1)
//   5513 1  partition count n (at most 12: the partitions the Controller sees)
//   7066 + 24k  partition k: full size (4, sectors), data size (4, sectors), start
//               sector (8), number, type, boot indicator, logical flag (1 each),
//               4 reserved. Entry 11 runs past 7344, into space nothing else uses.
//               A size past 32 bits (a partition over 2 TiB) is given as
//               0xFFFFFFFF, the most the field holds; its area has the true one.
//   8192     4  count of table sectors, then each: its sector number (8) and its
//               512 bytes (the MBR and every extended boot record; for a GPT the
//               protective MBR, both headers and both entry arrays)
//   versions 2 and 3, after the table sectors: the areas, each its first sector
//               (8) and sector count (8), in disk order: every partition (also
//               those past the twelfth), the boot loader's room between the table
//               and the first partition, or with sector-by-sector one area from
//               sector 0 to the end of the last partition. Version 1 has one area
//               per summary partition.
//   data offset: chunks, each a 32-byte head and its stored bytes, ending with
//               an end chunk (area 0xFF):
//       0 4 "CHNK", 4 1 area index, 5 1 method (0 stored, 1 zlib, 2 zstd),
//       6 2 reserved, 8 8 byte offset in the area, 16 4 raw length,
//       20 4 stored length, 24 8 checksum.
//     Version 3: the checksum is XXH3-64 of head bytes 0-23 followed by the raw
//     bytes, so a damaged place or length is caught as well as damaged data; the
//     end chunk's bytes 8-15 hold the number of chunks before it, and its
//     checksum covers its bytes 0-23. Versions 1 and 2: bytes 24-27 hold the
//     CRC-32 of the raw bytes.
// All numbers are little-endian. An area's bytes that no chunk covers are zeros
// (chunks of zeros are left out unless sector-by-sector was asked for). A table
// sector that lies inside an area is restored from the table sectors, not from
// the area's chunks.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrelon::client::image {

inline constexpr std::array<std::uint8_t, 4> kSignature = {'K', 'R', 'N', 'I'};
inline constexpr std::uint16_t kFormatVersion = 3;
inline constexpr std::size_t kLengthLowOffset = 4;
inline constexpr std::size_t kLinkPatchLength = 12;  // bytes 0-11 are rewritten at the end
inline constexpr std::size_t kDescriptionOffset = 256;
inline constexpr std::size_t kDescriptionEnd = 768;
inline constexpr std::size_t kHeaderChecksumOffset = 38;
inline constexpr std::size_t kSummaryOffset = 5512;
inline constexpr std::size_t kPartitionCountOffset = 5513;
inline constexpr std::size_t kEntriesOffset = 7066;
inline constexpr std::size_t kEntryStride = 24;
inline constexpr int kMaxPartitions = 12;
inline constexpr std::size_t kTableAreaOffset = 8192;
// A GPT of 128 entries takes 67 table sectors; version 1 images kept at most 64.
inline constexpr std::size_t kMaxTableSectors = 256;
inline constexpr std::size_t kTableSectorEntry = 8 + 512;
inline constexpr std::uint32_t kChunkSize = 65536;
inline constexpr std::size_t kChunkHeadSize = 32;
inline constexpr std::uint8_t kEndChunk = 0xFF;
inline constexpr std::size_t kAreaEntry = 16;
inline constexpr std::size_t kMaxAreas = 254;  // area indexes 0-253; 0xFF ends the stream
inline constexpr std::uint16_t kFlagAllChunks = 1;
inline constexpr std::uint16_t kFlagGpt = 2;

struct ImagePartition {
  std::uint8_t number = 0, type = 0, boot = 0;
  bool logical = false;
  std::uint64_t start_lba = 0;
  std::uint64_t sectors = 0;  // the summary holds at most 0xFFFFFFFF
  friend bool operator==(const ImagePartition&, const ImagePartition&) = default;
};

struct TableSector {
  std::uint64_t lba = 0;
  std::array<std::uint8_t, 512> bytes{};
  friend bool operator==(const TableSector&, const TableSector&) = default;
};

// A stretch of the disk whose bytes the chunks carry.
struct Area {
  std::uint64_t start_lba = 0;
  std::uint64_t sectors = 0;
  friend bool operator==(const Area&, const Area&) = default;
};

struct ImageHeader {
  std::uint16_t version = kFormatVersion;
  std::uint64_t length = 0;
  std::uint16_t flags = 0;
  std::uint16_t level = 0;
  std::uint64_t source_sectors = 0;
  std::vector<ImagePartition> partitions;  // the summary: the first 12
  std::vector<TableSector> table_sectors;
  // Where the chunks go. Encoding an empty list writes one area per partition.
  std::vector<Area> areas;

  std::uint32_t data_offset() const;
};

// The header area, data_offset() bytes long.
std::vector<std::uint8_t> encode_header(const ImageHeader& header);
// The first 12 bytes as they stand once the image length is known.
std::array<std::uint8_t, kLinkPatchLength> length_patch(std::uint64_t length);

// Reads a header area. need_more: give at least `needed` bytes.
struct HeaderParse {
  enum class State { need_more, invalid, ok } state = State::need_more;
  std::size_t needed = 0;
  ImageHeader header;
  std::string error;
};
HeaderParse parse_header(std::span<const std::uint8_t> bytes);

// The exact image length from the first bytes of a file, when they are this
// Client's header; nullopt for anything else.
std::optional<std::uint64_t> probe_length(std::span<const std::uint8_t> first_bytes);

enum ChunkMethod : std::uint8_t { kStored = 0, kZlib = 1, kZstd = 2 };

struct ChunkHead {
  std::uint8_t partition = 0;  // the area
  std::uint8_t method = kStored;
  std::uint64_t offset = 0;    // the end chunk: the number of chunks before it (version 3)
  std::uint32_t raw_length = 0;
  std::uint32_t stored_length = 0;
  std::uint64_t checksum = 0;  // versions 1 and 2: a CRC-32
  bool is_end() const { return partition == kEndChunk; }
};
// The head's bytes as they stand; the checksum is the caller's (chunk_codec.h).
std::array<std::uint8_t, kChunkHeadSize> encode_chunk_head(const ChunkHead& head);
// Checks what the head alone can tell: its tag, a method the version knows,
// lengths a chunk can have.
std::optional<ChunkHead> decode_chunk_head(std::span<const std::uint8_t> bytes, std::uint16_t version,
                                           std::string* error);

}  // namespace kestrelon::client::image
