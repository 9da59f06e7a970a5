// Deadline arithmetic across the wrap of the 32-bit millisecond counter.
#include "platform/tick.h"

#include <gtest/gtest.h>

#include "platform/clock.h"

namespace kestrelon {
namespace {

TEST(Tick, LaterMeansStrictlyGreater) {
  EXPECT_FALSE(tick_later(1000, 1000));
  EXPECT_TRUE(tick_later(1001, 1000));
  EXPECT_FALSE(tick_later(999, 1000));
  EXPECT_TRUE(tick_reached(1000, 1000));
  EXPECT_FALSE(tick_reached(999, 1000));
}

TEST(Tick, DeadlineSetJustBeforeTheWrapIsNotPassedJustAfterIt) {
  const Tick start = 0xFFFFF000u;  // 4096 ms before the counter wraps
  const Tick deadline = start + 5000;  // wraps to 904
  EXPECT_EQ(deadline, 904u);
  EXPECT_FALSE(tick_later(start, deadline));
  EXPECT_FALSE(tick_later(0xFFFFFFFFu, deadline));
  EXPECT_FALSE(tick_later(0, deadline));
  EXPECT_FALSE(tick_later(904, deadline));
  EXPECT_TRUE(tick_later(905, deadline));
}

TEST(Tick, DeadlineAfterTheWrapStillPassesWhenReached) {
  ManualClock clock(0xFFFFFFF0u);
  const Tick deadline = clock.now() + 300;
  clock.advance(299);
  EXPECT_FALSE(tick_later(clock.now(), deadline));
  clock.advance(2);
  EXPECT_TRUE(tick_later(clock.now(), deadline));
}

TEST(Tick, SystemClockMoves) {
  const Tick a = tick_count();
  Tick b = a;
  for (int i = 0; i < 50000000 && b == a; ++i) b = tick_count();
  EXPECT_TRUE(tick_later(b, a));
}

}  // namespace
}  // namespace kestrelon
