#pragma once
// What the upload stream's records do to the image file: data is written at the
// write position, the marks move that position, and the link patch stores a file
// position into the data record that follows a swap mark. The description entered
// for the image is laid over the first data record from its data byte 256 on.
//
// Used by the receive engine during a Create, and by anything else that needs to
// turn an upload stream into an image file, so the record rules exist once.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "transfer/buffered_file_writer.h"
#include "transfer/image_file.h"
#include "transfer/upload_stream.h"

namespace kestrelon {

class ImageRecordWriter final : public UploadRecordSink {
 public:
  static constexpr std::size_t kDescriptionOffset = image::kDescriptionOffset;
  static constexpr std::size_t kLinkPatchOffset = 4;
  static constexpr std::size_t kLinkPatchLength = 4;

  // `counted` is told the length of every data record taken while the file is
  // open (written, or skipped after a write failure); records taken while it is
  // closed are neither written nor counted.
  explicit ImageRecordWriter(BufferedFileWriter& file, std::function<void(std::size_t)> counted = {});

  // Back to the state of a new upload, with the description to lay over the header.
  void reset(std::string description);
  void disarm_link_patch() { link_patch_armed_ = false; }

  void on_data(std::span<std::uint8_t> data) override;
  void on_mark() override;
  void on_seek_mark() override;
  void on_swap_mark() override;
  void on_end() override;

  bool end_seen() const { return end_seen_.load(); }
  // Set when a write failed because the disk (or the quota) is full; later data
  // is no longer written.
  bool disk_full() const { return disk_full_.load(); }
  void clear_disk_full() { disk_full_.store(false); }
  // The error number of a write that failed for another reason, 0 when none;
  // later data is no longer written either.
  int write_error() const { return write_error_.load(); }
  // Records a failure found outside the records (closing the file, for one).
  void note_failure(int error);

  std::int64_t remembered_position() const { return remembered_; }
  bool link_patch_armed() const { return link_patch_armed_; }

 private:
  void lay_description(std::span<std::uint8_t> data) const;

  BufferedFileWriter& file_;
  std::function<void(std::size_t)> counted_;
  std::string description_;
  std::int64_t remembered_ = 0;
  bool link_patch_armed_ = false;
  bool description_laid_ = false;
  std::atomic<bool> end_seen_{false};
  std::atomic<bool> disk_full_{false};
  std::atomic<int> write_error_{0};
};

}  // namespace kestrelon
