#pragma once
// The sending half of the copy engine. A burst's OP_COPY_DATA datagrams are built
// end to end in one buffer, their blocks read from the image file in one read,
// and handed to every enabled interface in one call each (the system cuts them
// into the same datagrams it would have sent one by one). The first datagram of
// the buffer holds the block to be sent next, read ahead of time.
//
// Used by the copy worker only, through CopyEngine (Copy start prepares it before
// the worker starts).
#include <array>
#include <cstdint>

#include "net/endpoint_table.h"
#include "net/wire_format.h"
#include "transfer/image_file.h"

namespace kestrelon {

class CopySender {
 public:
  static constexpr int kMaxRun = 20;  // datagrams per call, well inside what one call may carry

  explicit CopySender(const EndpointTable& endpoints) : endpoints_(endpoints) {}
  CopySender(const CopySender&) = delete;
  CopySender& operator=(const CopySender&) = delete;

  // A new copy of `file`, `total_bytes` long. Nothing is held.
  void start(const ImageFile* file, std::uint64_t total_bytes);
  // Makes the first datagram hold `block`, reading it unless it does already.
  // False on a read error or a short read: nothing is held then, so the block is
  // read again before it is sent.
  bool hold(std::int32_t block);
  // Sends `count` blocks (1 to kMaxRun, all inside the file) from the held one
  // on; the ones after it are read in one go. Returns how many went out: fewer
  // when a read failed, 0 when nothing is held. Afterwards nothing is held.
  int send_run(int count);
 private:
  // The valid bytes of `block`: 1350, fewer for the last one, 0 past the end.
  std::int64_t block_length(std::int64_t block) const;

  const EndpointTable& endpoints_;
  const ImageFile* file_ = nullptr;
  std::uint64_t total_bytes_ = 0;
  std::int32_t held_ = -1;
  std::array<wire::CopyDataPacket, kMaxRun> run_;
  std::array<std::uint8_t, (kMaxRun - 1) * image::kBlockSize> staging_{};
};

}  // namespace kestrelon
