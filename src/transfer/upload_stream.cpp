#include "transfer/upload_stream.h"

#include <cstring>

namespace kestrelon {

namespace {

constexpr std::size_t kStop = 0;
constexpr std::size_t kEnd = static_cast<std::size_t>(-1);

// Hands the record at `record` to the sink and returns its length; kStop when it
// is incomplete or of unknown type, kEnd for the end record.
std::size_t take_record(std::uint8_t* record, std::size_t available, UploadRecordSink& sink) {
  const auto type = static_cast<std::uint16_t>((record[6] << 8) | record[7]);
  switch (type) {
    case REC_DATA: {
      if (available < UploadStream::kDataHeadLength) return kStop;
      const auto length = static_cast<std::int16_t>(record[8] | (record[9] << 8));
      // A negative length never comes from a sound Client; read as a huge count it
      // would copy far past the buffer, so the record is treated like one of
      // unknown type.
      if (length < 0) return kStop;
      const std::size_t total = UploadStream::kDataHeadLength + static_cast<std::size_t>(length);
      if (available < total) return kStop;
      sink.on_data(std::span<std::uint8_t>(record + UploadStream::kDataHeadLength,
                                           static_cast<std::size_t>(length)));
      return total;
    }
    case REC_MARK:
      sink.on_mark();
      return UploadStream::kHeadLength;
    case REC_SEEK_MARK:
      sink.on_seek_mark();
      return UploadStream::kHeadLength;
    case REC_SWAP_MARK:
      sink.on_swap_mark();
      return UploadStream::kHeadLength;
    case REC_END:
      sink.on_end();
      return kEnd;
    default:
      return kStop;
  }
}

}  // namespace

bool UploadStream::append(std::span<const std::uint8_t> bytes) {
  if (buffered_ + bytes.size() > kCapacity) return false;
  if (bytes.empty()) return true;
  std::memcpy(buffer_.data() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
  return true;
}

void UploadStream::consume(UploadRecordSink& sink) {
  std::size_t start = 0;  // the records before `start` have been consumed
  while (buffered_ - start >= kHeadLength) {
    const std::size_t length = take_record(buffer_.data() + start, buffered_ - start, sink);
    if (length == kEnd) {  // whatever follows the end record is discarded
      buffered_ = 0;
      return;
    }
    if (length == kStop) break;
    start += length;
  }
  // The unconsumed bytes move to the front once, not after every record.
  if (start > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start, buffered_ - start);
    buffered_ -= start;
  }
}

}  // namespace kestrelon
