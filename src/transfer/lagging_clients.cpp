#include "transfer/lagging_clients.h"

namespace kestrelon {

void LaggingClients::heard(Ipv4Address client, std::int32_t block, Tick now) {
  std::lock_guard hold(mutex_);
  int slot = -1;
  for (int i = 0; i < count_; ++i) {
    if (positions_[static_cast<std::size_t>(i)].client == client) {
      slot = i;
      break;
    }
  }
  if (slot < 0 && count_ < kCapacity) slot = count_++;
  if (slot < 0) {
    // Full: the Client heard from longest ago gives way.
    slot = 0;
    for (int i = 1; i < count_; ++i) {
      if (tick_later(positions_[static_cast<std::size_t>(slot)].heard, positions_[static_cast<std::size_t>(i)].heard)) {
        slot = i;
      }
    }
  }
  positions_[static_cast<std::size_t>(slot)] = Position{client, block, now};
}

std::int32_t LaggingClients::lowest(Tick now, Tick quiet, std::span<std::int32_t, kCapacity> released,
                                    int& released_count) {
  std::lock_guard hold(mutex_);
  released_count = 0;
  std::int32_t low = -1;
  for (int i = 0; i < count_;) {
    const Position& p = positions_[static_cast<std::size_t>(i)];
    if (tick_later(now, p.heard + quiet)) {
      released[static_cast<std::size_t>(released_count++)] = p.block;
      positions_[static_cast<std::size_t>(i)] = positions_[static_cast<std::size_t>(--count_)];
      continue;
    }
    if (low < 0 || p.block < low) low = p.block;
    ++i;
  }
  return low;
}

void LaggingClients::clear() {
  std::lock_guard hold(mutex_);
  count_ = 0;
}

}  // namespace kestrelon
