#include "platform/semaphore.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrelon {
namespace {

TEST(Semaphore, ReleaseBeyondTheMaximumIsRefused) {
  Semaphore s(1, 1);
  EXPECT_FALSE(s.release());
  EXPECT_EQ(s.count(), 1);
  s.acquire();
  EXPECT_TRUE(s.release());
  EXPECT_FALSE(s.release());
}

TEST(Semaphore, TimedWaitGivesUpAndAnotherThreadMayRelease) {
  Semaphore s(1, 1);
  s.acquire();
  EXPECT_FALSE(s.try_acquire_for(std::chrono::milliseconds(20)));
  std::thread other([&] { s.release(); });  // shutdown releases locks it never took
  other.join();
  EXPECT_TRUE(s.try_acquire_for(std::chrono::milliseconds(1000)));
}

}  // namespace
}  // namespace kestrelon
