#pragma once
// A cap on the copy's send rate, in MB/s (10^6 bytes of image per second): a
// bucket of bytes that fills at that rate and holds kBucketMs milliseconds' worth
// (and always one millisecond's worth plus one datagram, so no fraction of a
// datagram is lost between two looks a millisecond apart). A sender that looks
// in every millisecond, or a few late, keeps the full rate, and exceeds it by at
// most one bucket. Every datagram the copy sends, resends included, is asked for
// first and spent after, so the level never drops below empty: nothing sent
// leaves a debt that would hold the copy back once it has been paid. Used by the
// copy worker only; time comes from the engine's clock in milliseconds.
#include <cstdint>

#include "platform/tick.h"

namespace kestrelon {

class RateCap {
 public:
  // Enough to ride over a worker that wakes a few milliseconds late on a busy
  // machine; small beside the window of 20 blocks that bounds bursts anyway.
  static constexpr int kBucketMs = 4;

  // 0 (or less) removes the cap.
  void set(int megabytes_per_second);
  bool limited() const { return bytes_per_ms_ > 0; }
  // Starts a copy with an empty bucket at `now`.
  void restart(Tick now);
  // How many datagrams of `bytes_each` bytes may go at `now`, at most `wanted`.
  int allowance(Tick now, int wanted, int bytes_each);
  // `count` datagrams of an allowance went out.
  void spend(int count, int bytes_each);
  // Whether the last allowance was less than wanted.
  bool held_back() const { return held_back_; }

 private:
  std::int64_t bytes_per_ms_ = 0;
  std::int64_t level_ = 0;
  Tick filled_at_ = 0;
  bool held_back_ = false;
};

}  // namespace kestrelon
