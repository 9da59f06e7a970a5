#pragma once
// The blocks that Clients asked to have sent again, in fast mode: the receive
// threads add them as resend requests arrive, the copy worker takes them all at
// once, lowest first. A block waits at most once; when kCapacity blocks wait, a
// further request is refused (its Client asks again).
#include <array>
#include <cstdint>
#include <mutex>
#include <span>

namespace kestrelon {

class ResendRequests {
 public:
  static constexpr int kCapacity = 64;

  // False when the block already waits or there is no room.
  bool add(std::int32_t block);
  // Moves the waiting blocks into `out` (room for kCapacity), lowest first; returns how many.
  int take(std::span<std::int32_t, kCapacity> out);
  void clear();

 private:
  std::mutex mutex_;
  std::array<std::int32_t, kCapacity> blocks_{};
  int count_ = 0;
};

}  // namespace kestrelon
