#include "transfer/default_pacing.h"

namespace kestrelon {

void DefaultPacing::clear() {
  lowest_requested_.store(-1);
  resend_pending_.store(false);
}

int DefaultPacing::tick(Tick now) {
  if (resend_pending_.load()) {
    if (!tick_later(now, resend_time_ + port_.resend_delay())) return 0;
    // Taken in one step, so a lower request arriving now is not wiped out.
    const std::int32_t block = lowest_requested_.exchange(-1);
    if (block >= 0) port_.go_back(block);
    resend_pending_.store(false);
    return 0;
  }
  if (lowest_requested_.load() != -1) {
    resend_time_ = now;
    resend_pending_.store(true);
    return 0;
  }
  port_.window_full_timeout(now);
  return port_.burst(now, kBurst, port_.block_total());
}

bool DefaultPacing::resend_requested(Ipv4Address /*from*/, std::int32_t block, Tick /*now*/) {
  // A block not sent yet goes out in its turn. Going to it would skip the blocks
  // before it, which every Client then asks for once more: a request for a block
  // never sent (from a confused or hostile host) would slow the copy down.
  if (block >= port_.next_block()) return false;
  std::int32_t pending = lowest_requested_.load();
  while (pending == -1 || block < pending) {
    if (lowest_requested_.compare_exchange_weak(pending, block)) return true;
  }
  return false;  // a lower one is already pending
}

}  // namespace kestrelon
