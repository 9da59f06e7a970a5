#pragma once
// Reads a disk and produces this Client's image of it (see image_layout.h), one
// piece at a time: the header area, then one chunk per 64 KiB of each area (every
// partition and the boot loader's room before the first; sector by sector,
// everything from sector 0 to the end of the last partition), compressed at the
// requested level, all-zero chunks left out unless every sector was asked for;
// then the end chunk. Chunks are read ahead and packed on worker threads
// (ChunkPacker); the image's bytes do not depend on how many. The holes of a
// sparse disk file are passed over unread.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chunk_packer.h"
#include "disk_device.h"
#include "image/image_layout.h"

namespace kestrelon::client {

struct BuildRequest {
  int level = 0;                  // 0 = stored; 1..9 (image::zstd_level)
  bool sector_by_sector = false;  // keep all-zero chunks
  int threads = 1;                // chunk packing threads; 0 = one per core
  image::ChunkMethod method = image::kZstd;  // kZlib: as images were made before zstd
};

class ImageBuilder {
 public:
  // Reads the partition table; nullptr with a message when the disk cannot be imaged.
  static std::unique_ptr<ImageBuilder> open(std::unique_ptr<DiskDevice> disk, BuildRequest request,
                                            std::string* error);

  using Clock = std::chrono::steady_clock;
  // Appends the next piece of the image to `out`. False when the image is
  // complete (nothing appended) or on a read error (error() says which). Past
  // `give_back_at` it returns true having appended nothing when it has only
  // read chunks it leaves out, so its caller can show the Controller that it
  // still works.
  bool next(std::vector<std::uint8_t>& out, Clock::time_point give_back_at = Clock::time_point::max());
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  // Bytes of the image produced so far (its length once next() returned false).
  std::uint64_t produced() const { return produced_; }
  // Area bytes read (or passed over as holes) so far and in all, for the
  // progress fields.
  std::uint64_t read_bytes() const { return read_; }
  std::uint64_t total_bytes() const { return total_; }
  const image::ImageHeader& header() const { return header_; }

 private:
  ImageBuilder(std::unique_ptr<DiskDevice> disk, BuildRequest request);
  enum class Stage { header, chunks, end, done };
  // Reads the next chunk of partition data into `chunk`; false when none is left.
  bool read_chunk(RawChunk& chunk);
  // How many bytes from disk byte `at` on are a hole, in whole chunks; 0 when
  // the chunk of `chunk` bytes there may hold data.
  std::uint64_t hole_ahead(std::uint64_t at, std::uint32_t chunk);

  std::unique_ptr<DiskDevice> disk_;
  BuildRequest request_;
  image::ImageHeader header_;
  Stage stage_ = Stage::header;
  std::size_t partition_ = 0;  // the current area
  std::uint64_t offset_ = 0;  // in the current area
  std::uint64_t produced_ = 0, read_ = 0, total_ = 0;
  std::uint64_t chunks_ = 0;  // in the image, for the end chunk
  // The data extent of a sparse disk file last asked for from data_from_, in
  // disk bytes: what lies between data_from_ and its start is a hole.
  std::uint64_t data_from_ = 0, data_start_ = 0, data_end_ = 0;
  bool holes_known_ = true;
  ChunkPacker packer_;
  RawChunk raw_;
  PackedChunk packed_;
  std::string error_;
};

}  // namespace kestrelon::client
