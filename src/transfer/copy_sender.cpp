#include "transfer/copy_sender.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace kestrelon {

// The run is sent as one buffer: the datagrams must lie end to end in it.
static_assert(sizeof(wire::CopyDataPacket) == wire::kCopyDataLength);
static_assert(std::is_standard_layout_v<wire::CopyDataPacket>);

void CopySender::start(const ImageFile* file, std::uint64_t total_bytes) {
  file_ = file;
  total_bytes_ = total_bytes;
  held_ = -1;
}

std::int64_t CopySender::block_length(std::int64_t block) const {
  const std::int64_t left = static_cast<std::int64_t>(total_bytes_) - block * std::int64_t{image::kBlockSize};
  return std::clamp<std::int64_t>(left, 0, image::kBlockSize);
}

bool CopySender::hold(std::int32_t block) {
  if (held_ == block) return true;
  held_ = -1;
  if (!file_ || block < 0) return false;
  const long got = file_->read_block(static_cast<std::uint64_t>(block), run_[0].payload());
  // A short read (the file shrank) is an error too: the datagram would carry stale bytes.
  if (got < 0 || got < block_length(block)) return false;
  held_ = block;
  return true;
}

int CopySender::send_run(int count) {
  if (held_ < 0 || count < 1) return 0;
  const std::int64_t first = held_;
  held_ = -1;
  count = std::min(count, kMaxRun);
  // The blocks after the first, in one read.
  std::int64_t wanted = 0;
  for (int i = 1; i < count; ++i) wanted += block_length(first + i);
  const long got = wanted > 0 ? file_->read_at(static_cast<std::uint64_t>(first + 1) * image::kBlockSize,
                                               std::span(staging_.data(), static_cast<std::size_t>(wanted)))
                              : 0;
  std::int64_t offset = 0;
  int ready = 1;
  for (; ready < count; ++ready) {
    const std::int64_t length = block_length(first + ready);
    if (got < 0 || offset + length > got) break;  // a read error or a shrunken file ends the run here
    std::memcpy(run_[static_cast<std::size_t>(ready)].payload().data(), staging_.data() + offset,
                static_cast<std::size_t>(length));
    offset += length;
  }
  for (int i = 0; i < ready; ++i) {
    run_[static_cast<std::size_t>(i)].seal(static_cast<std::uint32_t>(first + i),
                                           static_cast<std::uint16_t>(block_length(first + i)));
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(run_.data());
  endpoints_.send_run(EndpointTable::kAllInterfaces,
                      std::span(bytes, static_cast<std::size_t>(ready) * wire::kCopyDataLength),
                      wire::kCopyDataLength, wire::kDataGroup, wire::kDataPort);
  return ready;
}

}  // namespace kestrelon
