#pragma once
// The step a spin control reports while its arrow is held: 1 at first, 5 after two
// seconds of holding, 20 after five, with the sign of the arrow. The toolkit's spin
// button repeats at its own rate and reports no steps of its own, so the window
// hands every notification here with its time: notifications closer together than
// the release gap belong to one hold, and repeats sooner than the repeat period
// are dropped, so a held arrow moves at a steady pace whatever the toolkit's rate.
#include <cstdint>

namespace kestrelon {

class SpinAcceleration {
 public:
  static constexpr std::int64_t kRepeatMs = 100;
  static constexpr std::int64_t kReleaseGapMs = 600;
  static constexpr std::int64_t kFiveAfterMs = 2000;
  static constexpr std::int64_t kTwentyAfterMs = 5000;

  // A notification at `ms` (any monotonic millisecond clock) for the arrow
  // `direction` (+1 up, −1 down). Returns the step to apply, 0 to drop it.
  int step(std::int64_t ms, int direction);

 private:
  bool holding_ = false;
  int direction_ = 0;
  std::int64_t hold_start_ = 0;
  std::int64_t last_seen_ = 0;
  std::int64_t last_applied_ = 0;
};

}  // namespace kestrelon
