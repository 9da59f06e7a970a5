#include "transfer/rate_cap.h"

#include <algorithm>

namespace kestrelon {

namespace {
constexpr std::int64_t kBytesPerMsPerMBs = 1000;  // 10^6 bytes per second
}  // namespace

void RateCap::set(int megabytes_per_second) {
  bytes_per_ms_ = megabytes_per_second > 0 ? std::int64_t{megabytes_per_second} * kBytesPerMsPerMBs : 0;
}

void RateCap::restart(Tick now) {
  level_ = 0;
  filled_at_ = now;
  held_back_ = false;
}

int RateCap::allowance(Tick now, int wanted, int bytes_each) {
  held_back_ = false;
  if (!limited()) return wanted;
  if (bytes_each <= 0 || wanted <= 0) return 0;
  // Unsigned difference: right across a wrap of the tick count.
  const std::int64_t elapsed = static_cast<Tick>(now - filled_at_);
  filled_at_ = now;
  const std::int64_t room = std::max(kBucketMs * bytes_per_ms_, bytes_per_ms_ + bytes_each);
  level_ = std::min(room, level_ + elapsed * bytes_per_ms_);
  const auto allowed = static_cast<int>(std::min<std::int64_t>(wanted, level_ / bytes_each));
  held_back_ = allowed < wanted;
  return allowed;
}

void RateCap::spend(int count, int bytes_each) {
  if (limited()) level_ = std::max<std::int64_t>(0, level_ - std::int64_t{count} * bytes_each);
}

}  // namespace kestrelon
