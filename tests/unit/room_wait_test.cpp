// Waiting for enough of a Copy's PCs: the start as soon as the minimum is
// ready, the deadline with some or none, and the minimum taken as "all" when it
// cannot be met.
#include "model/room_wait.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

using D = RoomWait::Decision;

TEST(RoomWait, StartsWithTheMinimumOrAtTheDeadlineWithWhoeverIsReady) {
  const Tick t0 = 0xFFFF0000u;  // the wait spans the tick count's wrap
  const RoomWait wait(5, 3, 300'000, t0);
  EXPECT_EQ(wait.step(0, t0), D::wait);
  EXPECT_EQ(wait.step(2, t0 + 100'000), D::wait);
  EXPECT_EQ(wait.remaining(t0 + 100'000), 200'000u);
  EXPECT_EQ(wait.step(3, t0 + 100'000), D::start) << "the minimum is ready";
  EXPECT_EQ(wait.step(2, t0 + 299'999), D::wait);
  EXPECT_EQ(wait.step(2, t0 + 300'000), D::start) << "the deadline, with two ready";
  EXPECT_EQ(wait.step(0, t0 + 300'000), D::give_up) << "the deadline, with nobody";
  EXPECT_EQ(wait.remaining(t0 + 400'000), 0u);

  // No minimum, or one above the target count: every target.
  EXPECT_EQ(RoomWait(3, 0, 1000, 0).min_clients(), 3);
  EXPECT_EQ(RoomWait(3, 7, 1000, 0).min_clients(), 3);
  EXPECT_EQ(RoomWait(3, 7, 1000, 0).step(3, 0), D::start);
  EXPECT_EQ(RoomWait(0, 1, 1000, 0).step(0, 0), D::give_up) << "no targets at all";
  // A wait of 0: the start at once, with whoever is ready.
  EXPECT_EQ(RoomWait(4, 4, 0, 50).step(1, 50), D::start);
}

}  // namespace
}  // namespace kestrelon
