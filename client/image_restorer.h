#pragma once
// Restores an image of this Client's layout onto a disk as its bytes arrive, in
// an order that keeps a restore which breaks off from passing for a good one:
//
// 1. With the header: checks that the image fits the disk (nothing is written
//    otherwise), fits the image's partition table to the disk (target_table.h),
//    then wipes the disk's old table and file system starts and marks sector 0
//    (restore_guard.h).
// 2. Each chunk at its area's place, zeros where no chunk is; a chunk is written
//    only once its checksum has held (image_reader.h), and the first that does
//    not ends the restore with the disk left as a broken-off copy. What would make a
//    half-written disk look usable is written as zeros for now and held back:
//    the table's sectors, the first 128 KiB of every partition, and the backup
//    superblocks and boot sectors that the new file systems' starts point to.
// 3. At the end: the held-back bytes, then the partition table, last.
// 4. Once the Controller has taken the copy as done (after_done), a partition
//    grown to fill a larger disk gets its file system grown (file_system_growth.h),
//    then the copied systems take the computer name asked for (system_naming.h).
//
// With "Keep partition size" off on a larger disk, the layout spreads over it
// (target_table.h): every byte the image has for a sector past the grown
// partition goes to that sector's new place, and a swap partition that moved
// gets its header made again there (swap_header.h). What the layout did is the
// report the Controller hears with the completion (done_report).
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "copy_sink.h"
#include "disk_device.h"
#include "file_system_growth.h"
#include "image/image_layout.h"
#include "image/image_reader.h"
#include "target_table.h"

namespace kestrelon::client {

struct RestoreOptions {
  bool keep_partition_size = true;  // false: the last data partition takes a larger disk's room
  std::string image_name;           // for the marker of a broken-off copy
};

class ImageRestorer final : public CopySink, private image::ImageReader::Handler {
 public:
  explicit ImageRestorer(std::unique_ptr<DiskDevice> disk, RestoreOptions options = {});
  bool consume(std::span<const std::uint8_t> bytes) override;
  bool finish() override;
  void abandon() override {}
  AfterCopyReport after_done(const AfterCopyOrders& orders) override;
  std::vector<std::string> done_report() const override { return report_; }
  const std::string& error() const override { return error_; }
  bool needs_own_layout() const override { return true; }
  std::string where() const override { return path_; }

 private:
  struct Watched {                       // a partition whose file system is judged once its start has come
    std::uint64_t start = 0, bytes = 0;  // on the disk, in bytes
    std::uint64_t image_start = 0;       // where the image had it, in bytes
    std::uint8_t number = 0;             // 0: a disk without a partition table
    bool probed = false;
    FileSystemProbe probe;
  };
  bool fail(std::string why);
  bool on_header(const image::ImageHeader& header) override;
  bool on_chunk(const image::ImageReader::Chunk& chunk) override;
  bool zero_up_to(std::size_t area, std::uint64_t offset);
  // Calls `step(disk_at, from, length)` for each piece of the image's bytes
  // [at, at + length), at their places on the disk as the layout moves them;
  // stops at the first false.
  template <class Step>
  bool moved_pieces(std::uint64_t at, std::uint64_t length, Step&& step) const;
  // The moved swap partitions' headers made again, and the report of the layout.
  void settle_layout();
  // Writes bytes at a disk offset, with the table's sectors zeroed and the held
  // ranges taken out (kept in held_, zeros written).
  bool write_guarded(std::uint64_t at, std::span<std::uint8_t> bytes);
  void hold(std::uint64_t at, std::uint64_t length);
  // Judges the file systems whose starts lie wholly before `position`.
  void probe_before(std::uint64_t position);
  bool write_last();

  std::unique_ptr<DiskDevice> disk_;
  std::string path_;
  RestoreOptions options_;
  image::ImageReader reader_{*this};
  bool failed_ = false;
  image::ImageHeader header_;
  TargetTable target_;
  std::vector<std::uint64_t> written_;  // per area: bytes restored from its start
  std::map<std::uint64_t, std::vector<std::uint8_t>> held_;  // disk offset: bytes written last
  std::uint64_t held_bytes_ = 0;
  std::vector<Watched> watched_;
  std::optional<GrowthJob> growth_;
  std::vector<std::string> report_;
  std::string error_;
};

}  // namespace kestrelon::client
