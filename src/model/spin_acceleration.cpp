#include "model/spin_acceleration.h"

namespace kestrelon {

int SpinAcceleration::step(std::int64_t ms, int direction) {
  direction = direction < 0 ? -1 : 1;
  const bool same_hold = holding_ && direction == direction_ && ms - last_seen_ <= kReleaseGapMs;
  last_seen_ = ms;
  if (!same_hold) {
    holding_ = true;
    direction_ = direction;
    hold_start_ = ms;
    last_applied_ = ms;
    return direction;
  }
  if (ms - last_applied_ < kRepeatMs) return 0;
  last_applied_ = ms;
  const std::int64_t held = ms - hold_start_;
  const int size = held >= kTwentyAfterMs ? 20 : held >= kFiveAfterMs ? 5 : 1;
  return direction * size;
}

}  // namespace kestrelon
