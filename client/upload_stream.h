#pragma once
// The upload stream of a Create: the image cut into stream records that tell the
// Controller what to write where, then cut into OP_CREATE_DATA payloads.
//
//   REC_MARK                     remember position 0
//   REC_DATA ...                 the image, at most 8192 bytes a record (the
//                                first one holds bytes 0-8191, so the
//                                Controller's description lands in it)
//   REC_SWAP_MARK                go back to position 0, remember the end
//   REC_DATA (12 bytes)          signature and length; the Controller's link
//                                patch puts the remembered end into bytes 4-7
//   REC_SEEK_MARK                back to the end
//   REC_END
//
// Records stay far below the Controller's 32,764-byte stream buffer: the largest
// is 8202 bytes, so one record and one payload always fit.
//
// While the Client reads a long stretch it leaves out (zeros, say), no record
// comes for a long time. So that the Controller can tell this from a Client that
// is gone, a payload leaves at least every kKeepAlive all the same: the bytes
// waiting so far, or an empty REC_DATA, with the read progress in its packet.
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "image_builder.h"
#include "transfer/upload_stream.h"

namespace kestrelon::client {

// The record types and head lengths are those the Controller reads
// (kestrelon::UploadStream): one contract, written down once.
inline constexpr std::size_t kRecordHead = kestrelon::UploadStream::kHeadLength;
inline constexpr std::size_t kDataRecordHead = kestrelon::UploadStream::kDataHeadLength;
inline constexpr std::size_t kMaxRecordData = 8192;
// An OP_CREATE_DATA stays one Ethernet frame (1472 bytes of UDP payload): its
// 22-byte head, the payload and at most 8 bytes after it.
inline constexpr std::size_t kUploadPayload = 1440;
// Half the most a Controller should see pass without a packet while the Client
// works (one second).
inline constexpr std::chrono::milliseconds kKeepAlive{500};

// Appends one record to `out`.
void append_record(std::vector<std::uint8_t>& out, RecordType type, std::span<const std::uint8_t> data = {});

struct UploadPiece {
  std::vector<std::uint8_t> payload;
  bool last = false;        // ends with REC_END
  bool keep_alive = false;  // sent before a whole payload was ready
};

class UploadStream {
 public:
  explicit UploadStream(std::unique_ptr<ImageBuilder> builder);
  // The next payload, at most kUploadPayload bytes, or a keep-alive after
  // kKeepAlive; false when the stream has ended or the disk could not be read
  // (failed()).
  bool next(UploadPiece& piece);
  bool failed() const { return builder_->failed(); }
  const std::string& error() const { return builder_->error(); }
  const ImageBuilder& builder() const { return *builder_; }

 private:
  void refill(ImageBuilder::Clock::time_point give_back_at);
  std::unique_ptr<ImageBuilder> builder_;
  std::vector<std::uint8_t> pending_;  // records not yet cut into payloads, from pending_at_
  std::size_t pending_at_ = 0;
  std::vector<std::uint8_t> piece_;
  bool started_ = false, finished_ = false, ended_ = false;
};

}  // namespace kestrelon::client
