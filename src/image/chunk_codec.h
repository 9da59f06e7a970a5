#pragma once
// One chunk's bytes, packed and unpacked: compressed by zstd (or zlib, the
// method of images made before zstd), and sealed with a checksum that a reader
// checks before it uses a single byte of the chunk.
//
// The checksum (version 3) is XXH3-64 of the head's first 24 bytes followed by
// the raw bytes: it covers where the chunk goes and how long it is as well as
// what it holds. Versions 1 and 2 carried the CRC-32 of the raw bytes alone.
//
// A ChunkCompressor or ChunkExpander keeps its library context between chunks
// (zstd's is worth keeping); each belongs to one thread at a time.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/image_layout.h"

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace kestrelon::client::image {

// The zstd level behind a compression level asked for: 1 keeps up with a
// gigabit line on two cores, 9 makes images no larger than zlib's level 9 did, at
// several times its rate (bench/create_bench.py measures both), 5 lies between.
int zstd_level(int level);

// Whether every byte is zero.
bool all_zero(std::span<const std::uint8_t> bytes);

class ChunkCompressor {
 public:
  // `level` 0 stores every chunk; otherwise `method` (kZstd or kZlib) at that level.
  ChunkCompressor(ChunkMethod method, int level);
  ~ChunkCompressor();
  ChunkCompressor(const ChunkCompressor&) = delete;
  ChunkCompressor& operator=(const ChunkCompressor&) = delete;

  // The chunk as the image holds it, head and stored bytes, into `out`. `head`
  // gives the area, offset and raw length; the method, stored length and
  // checksum are filled in. Compressed bytes are kept only when they save room.
  void pack(ChunkHead head, std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& out);

 private:
  ChunkMethod method_;
  int level_;
  ZSTD_CCtx_s* zstd_ = nullptr;
};

class ChunkExpander {
 public:
  ChunkExpander();
  ~ChunkExpander();
  ChunkExpander(const ChunkExpander&) = delete;
  ChunkExpander& operator=(const ChunkExpander&) = delete;

  // The raw bytes of a chunk whose head is `head`. False, with why, when the
  // stored bytes do not expand to exactly the raw length.
  bool expand(const ChunkHead& head, std::span<const std::uint8_t> stored, std::vector<std::uint8_t>& raw,
              std::string* why);

 private:
  ZSTD_DCtx_s* zstd_ = nullptr;
};

// The version 3 checksum of a chunk whose head's encoded bytes are `head` (only
// the first 24 are used).
std::uint64_t chunk_checksum(std::span<const std::uint8_t> head, std::span<const std::uint8_t> raw);

// Encodes `head` with its checksum over its own bytes and `raw`.
std::array<std::uint8_t, kChunkHeadSize> sealed_head(ChunkHead head, std::span<const std::uint8_t> raw);

// Whether a chunk read from an image of `version` holds what its checksum says.
bool checksum_matches(std::uint16_t version, std::span<const std::uint8_t> head_bytes, const ChunkHead& head,
                      std::span<const std::uint8_t> raw);

}  // namespace kestrelon::client::image
