// The copy worker's wake-up in fast mode: a raise is never lost between a check
// and the wait, and the deadline ends a wait that nobody raises.
#include "platform/wake_signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

timespec after(std::chrono::milliseconds ms) {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  const auto ns = std::chrono::nanoseconds(t.tv_nsec) + ms;
  t.tv_sec += static_cast<time_t>(ns.count() / 1'000'000'000);
  t.tv_nsec = static_cast<long>(ns.count() % 1'000'000'000);
  return t;
}

TEST(WakeSignal, ARaiseBeforeTheWaitIsKeptForItOnce) {
  WakeSignal signal;
  signal.raise();
  signal.raise();
  const auto start = std::chrono::steady_clock::now();
  signal.wait_until(after(120s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "the raise was kept";
  const auto again = std::chrono::steady_clock::now();
  signal.wait_until(after(50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - again, 50ms) << "two raises wake one wait";
}

TEST(WakeSignal, ARaiseFromAnotherThreadEndsTheWait) {
  WakeSignal signal;
  std::thread raiser([&] {
    std::this_thread::sleep_for(20ms);
    signal.raise();
  });
  const auto start = std::chrono::steady_clock::now();
  signal.wait_until(after(120s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "the raise ended the wait";
  raiser.join();
}

}  // namespace
}  // namespace kestrelon
