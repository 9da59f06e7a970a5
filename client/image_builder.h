#pragma once
// Reads a disk and produces this Client's image of it (see image_layout.h), one
// piece at a time: the header area, then one chunk per 64 KiB of each area (every
// partition and the boot loader's room before the first; sector by sector,
// everything from sector 0 to the end of the last partition), zlib-compressed at
// the requested level, all-zero chunks left out unless every sector was asked
// for; then the end chunk.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk_device.h"
#include "image_layout.h"

namespace kestrelon::client {

struct BuildRequest {
  int level = 0;                  // 0 = stored; 1..9 = zlib level
  bool sector_by_sector = false;  // keep all-zero chunks
};

class ImageBuilder {
 public:
  // Reads the partition table; nullptr with a message when the disk cannot be imaged.
  static std::unique_ptr<ImageBuilder> open(std::unique_ptr<DiskDevice> disk, BuildRequest request,
                                            std::string* error);

  // Appends the next piece of the image to `out`. False when the image is
  // complete (nothing appended) or on a read error (error() says which).
  bool next(std::vector<std::uint8_t>& out);
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  // Bytes of the image produced so far (its length once next() returned false).
  std::uint64_t produced() const { return produced_; }
  // Area bytes read so far and in all, for the progress fields.
  std::uint64_t read_bytes() const { return read_; }
  std::uint64_t total_bytes() const { return total_; }
  const image::ImageHeader& header() const { return header_; }

 private:
  ImageBuilder(std::unique_ptr<DiskDevice> disk, BuildRequest request) : disk_(std::move(disk)), request_(request) {}
  enum class Stage { header, chunks, end, done };

  std::unique_ptr<DiskDevice> disk_;
  BuildRequest request_;
  image::ImageHeader header_;
  Stage stage_ = Stage::header;
  std::size_t partition_ = 0;  // the current area
  std::uint64_t offset_ = 0;  // in the current area
  std::uint64_t produced_ = 0, read_ = 0, total_ = 0;
  std::vector<std::uint8_t> raw_, packed_;
  std::string error_;
};

}  // namespace kestrelon::client
