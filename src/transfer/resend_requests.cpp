#include "transfer/resend_requests.h"

#include <algorithm>

namespace kestrelon {

bool ResendRequests::add(std::int32_t block) {
  std::lock_guard hold(mutex_);
  const auto end = blocks_.begin() + count_;
  if (count_ == kCapacity || std::find(blocks_.begin(), end, block) != end) return false;
  blocks_[static_cast<std::size_t>(count_++)] = block;
  return true;
}

int ResendRequests::take(std::span<std::int32_t, kCapacity> out) {
  int n = 0;
  {
    std::lock_guard hold(mutex_);
    n = count_;
    std::copy_n(blocks_.begin(), n, out.begin());
    count_ = 0;
  }
  std::sort(out.begin(), out.begin() + n);
  return n;
}

void ResendRequests::clear() {
  std::lock_guard hold(mutex_);
  count_ = 0;
}

}  // namespace kestrelon
