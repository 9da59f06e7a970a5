#include "platform/wake_signal.h"

#include <chrono>

namespace kestrelon {

void WakeSignal::raise() {
  {
    std::lock_guard hold(mutex_);
    raised_ = true;
  }
  raised_cv_.notify_one();
}

void WakeSignal::wait_until(const timespec& deadline) {
  // The steady clock is CLOCK_MONOTONIC, counted from the same origin.
  const std::chrono::steady_clock::time_point until(std::chrono::seconds(deadline.tv_sec) +
                                                     std::chrono::nanoseconds(deadline.tv_nsec));
  std::unique_lock hold(mutex_);
  raised_cv_.wait_until(hold, until, [this] { return raised_; });
  raised_ = false;
}

}  // namespace kestrelon
