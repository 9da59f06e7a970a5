#include "upload_stream.h"

#include <algorithm>

#include "net/byte_order.h"

namespace kestrelon::client {

void append_record(std::vector<std::uint8_t>& out, RecordType type, std::span<const std::uint8_t> data) {
  const std::size_t at = out.size();
  const std::size_t head = type == REC_DATA ? kDataRecordHead : kRecordHead;
  out.resize(at + head, 0);
  // Bytes 0-5 are not read by the Controller; a tag helps anyone reading a capture.
  out[at] = 'K';
  out[at + 1] = 'R';
  write_be16(out, at + 6, type);
  if (type == REC_DATA) {
    write_le16(out, at + 8, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
}

UploadStream::UploadStream(std::unique_ptr<ImageBuilder> builder) : builder_(std::move(builder)) {}

void UploadStream::refill(ImageBuilder::Clock::time_point give_back_at) {
  // The bytes already cut off go, so the vector holds little more than a chunk.
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(pending_at_));
  pending_at_ = 0;
  std::vector<std::uint8_t>& records = pending_;
  if (!started_) {
    append_record(records, REC_MARK);
    started_ = true;
  }
  piece_.clear();
  if (builder_->next(piece_, give_back_at)) {
    for (std::size_t at = 0; at < piece_.size(); at += kMaxRecordData) {
      const std::size_t n = std::min(kMaxRecordData, piece_.size() - at);
      append_record(records, REC_DATA, std::span(piece_.data() + at, n));
    }
  } else if (!builder_->failed()) {
    const auto patch = image::length_patch(builder_->produced());
    append_record(records, REC_SWAP_MARK);
    append_record(records, REC_DATA, patch);
    append_record(records, REC_SEEK_MARK);
    append_record(records, REC_END);
    finished_ = true;
  }
}

bool UploadStream::next(UploadPiece& piece) {
  if (ended_) return false;
  const auto give_back_at = ImageBuilder::Clock::now() + kKeepAlive;
  piece.keep_alive = false;
  while (pending_.size() - pending_at_ < kUploadPayload && !finished_ && !builder_->failed()) {
    refill(give_back_at);
    if (ImageBuilder::Clock::now() >= give_back_at && pending_.size() - pending_at_ < kUploadPayload) {
      piece.keep_alive = true;
      break;
    }
  }
  if (builder_->failed()) return false;
  // With nothing to send, an empty data record: it writes nothing.
  if (piece.keep_alive && pending_.size() == pending_at_) append_record(pending_, REC_DATA);
  const std::size_t n = std::min(kUploadPayload, pending_.size() - pending_at_);
  const auto from = pending_.begin() + static_cast<long>(pending_at_);
  piece.payload.assign(from, from + static_cast<long>(n));
  pending_at_ += n;
  piece.last = finished_ && pending_at_ == pending_.size();
  ended_ = piece.last;
  return true;
}

}  // namespace kestrelon::client
