#pragma once
// Fast mode: where the Clients that ask for blocks again stand. A resend request
// names its Client's lowest missing block, so it says that the Client holds
// everything before it. Only one Client acknowledges, and the window follows it;
// a Client that loses blocks the acknowledging one received falls behind it,
// and without a bound it would still be missing blocks when the whole file has
// been sent, which then goes again to everyone from its lowest missing block on.
// The copy worker reads the lowest position heard recently and sends no new
// block more than a bound past it.
//
// Receive threads report requests (heard); the copy worker asks for the lowest
// position (lowest). A Client that has not asked for anything for `quiet` ms has
// either caught up or lost the block it asked for last; it is let go, and its
// last requested block is handed to the worker to be sent once more.
#include <array>
#include <cstdint>
#include <mutex>
#include <span>

#include "platform/ipv4_address.h"
#include "platform/tick.h"

namespace kestrelon {

class LaggingClients {
 public:
  static constexpr int kCapacity = 64;  // Clients followed at once; the longest quiet makes room

  void heard(Ipv4Address client, std::int32_t block, Tick now);
  // The lowest block asked for by a Client heard within `quiet` ms, or -1. The
  // Clients quiet longer are let go; their last blocks go to `released` (room
  // for kCapacity) and their number to `released_count`.
  std::int32_t lowest(Tick now, Tick quiet, std::span<std::int32_t, kCapacity> released, int& released_count);
  void clear();

 private:
  struct Position {
    Ipv4Address client;
    std::int32_t block = -1;
    Tick heard = 0;
  };
  std::mutex mutex_;
  std::array<Position, kCapacity> positions_{};
  int count_ = 0;
};

}  // namespace kestrelon
