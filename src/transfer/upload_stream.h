#pragma once
// The upload stream of a Create: the payloads of the Client's data packets,
// joined, carry records that say what to write into the image file and where.
// This class keeps the bytes not yet consumed and cuts them into records; what a
// record does to the file is the sink's business.
//
// A record starts with an 8-byte head whose bytes 6 and 7 hold its type
// (big-endian). A data record adds a 16-bit length L at bytes 8 and 9, in
// little-endian order, and L bytes of data.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrelon {

enum RecordType : std::uint16_t {
  REC_DATA = 11,
  REC_MARK = 12,
  REC_SEEK_MARK = 13,
  REC_END = 14,
  REC_SWAP_MARK = 15,
};

class UploadRecordSink {
 public:
  virtual ~UploadRecordSink() = default;
  // The data may be changed in place (the link patch and the description are laid
  // over it before it is written).
  virtual void on_data(std::span<std::uint8_t> data) = 0;
  virtual void on_mark() = 0;
  virtual void on_seek_mark() = 0;
  virtual void on_swap_mark() = 0;
  virtual void on_end() = 0;
};

class UploadStream {
 public:
  static constexpr std::size_t kCapacity = 32764;
  static constexpr std::size_t kHeadLength = 8;
  static constexpr std::size_t kDataHeadLength = 10;

  // Appends one packet's payload. False, and nothing appended, when it does not
  // fit beside the bytes already held (the Client then sends the packet again).
  bool append(std::span<const std::uint8_t> bytes);

  // Hands every complete record at the start of the buffer to the sink, in order,
  // and drops it. Stops at an incomplete record, at a record of unknown type (its
  // bytes stay, so the stream stalls there for good), and after the end record,
  // which also drops everything behind it.
  void consume(UploadRecordSink& sink);

  void clear() { buffered_ = 0; }
  std::size_t buffered() const { return buffered_; }

 private:
  std::array<std::uint8_t, kCapacity> buffer_{};
  std::size_t buffered_ = 0;
};

}  // namespace kestrelon
