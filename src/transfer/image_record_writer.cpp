#include "transfer/image_record_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrelon {

ImageRecordWriter::ImageRecordWriter(BufferedFileWriter& file, std::function<void(std::size_t)> counted)
    : file_(file), counted_(std::move(counted)) {}

void ImageRecordWriter::reset(std::string description) {
  description_ = std::move(description);
  remembered_ = 0;
  link_patch_armed_ = false;
  description_laid_ = false;
  end_seen_.store(false);
  disk_full_.store(false);
  write_error_.store(0);
}

void ImageRecordWriter::note_failure(int error) {
  if (error == 0) return;
  if (BufferedFileWriter::is_disk_full(error)) {
    disk_full_.store(true);
  } else if (write_error_.load() == 0) {
    write_error_.store(error);
  }
}

void ImageRecordWriter::lay_description(std::span<std::uint8_t> data) const {
  // Only this record's own data receives characters: whatever would fall past it
  // is left out rather than written over the next record.
  if (data.size() <= kDescriptionOffset) return;
  const std::size_t n = std::min(description_.size(), data.size() - kDescriptionOffset);
  std::memcpy(data.data() + kDescriptionOffset, description_.data(), n);
}

void ImageRecordWriter::on_data(std::span<std::uint8_t> data) {
  if (link_patch_armed_) {
    link_patch_armed_ = false;
    // The remembered position, little-endian, over data bytes 4 to 7; bytes that
    // a record shorter than 8 does not have are not written (they would land on
    // the head of the next record in the stream).
    const auto value = static_cast<std::uint32_t>(remembered_);
    for (std::size_t i = 0; i < kLinkPatchLength; ++i) {
      const std::size_t at = kLinkPatchOffset + i;
      if (at < data.size()) data[at] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  }
  if (!file_.is_open()) return;
  if (!disk_full_.load() && write_error_.load() == 0) {
    if (!description_laid_) lay_description(data);
    note_failure(file_.write(data));
  }
  description_laid_ = true;
  if (counted_) counted_(data.size());
}

void ImageRecordWriter::on_mark() { remembered_ = file_.position(); }

void ImageRecordWriter::on_seek_mark() { file_.seek(remembered_); }

void ImageRecordWriter::on_swap_mark() {
  const std::int64_t here = file_.position();
  file_.seek(remembered_);
  remembered_ = here;
  link_patch_armed_ = true;
}

void ImageRecordWriter::on_end() {
  end_seen_.store(true);
  link_patch_armed_ = false;
}

}  // namespace kestrelon
