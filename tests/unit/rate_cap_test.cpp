// The copy's rate cap: what it lets through over time, its short bursts, and
// the wrap of the millisecond counter.
#include "transfer/rate_cap.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

constexpr int kDatagram = 1350;

// Asks for `wanted` datagrams once a millisecond for `ms` milliseconds from
// `start`, spending what is allowed; returns how many went.
long send_for(RateCap& cap, Tick start, int ms, int wanted) {
  long sent = 0;
  for (int i = 1; i <= ms; ++i) {
    const int n = cap.allowance(start + static_cast<Tick>(i), wanted, kDatagram);
    cap.spend(n, kDatagram);
    sent += n;
  }
  return sent;
}

TEST(RateCap, WithoutACapEverythingWantedGoes) {
  RateCap cap;
  cap.set(0);
  EXPECT_FALSE(cap.limited());
  cap.restart(5);
  EXPECT_EQ(cap.allowance(5, 20, kDatagram), 20);
  cap.spend(20, kDatagram);
  EXPECT_EQ(cap.allowance(5, 20, kDatagram), 20) << "nothing is counted without a cap";
  cap.set(-3);
  EXPECT_FALSE(cap.limited());
}

TEST(RateCap, OverASecondTheCapIsMetToTheDatagram) {
  for (int mbs : {1, 5, 27, 100}) {
    RateCap cap;
    cap.set(mbs);
    cap.restart(1000);
    const long sent = send_for(cap, 1000, 1000, 200);
    const long exact = mbs * 1'000'000L / kDatagram;  // bytes the second allows, in whole datagrams
    EXPECT_LE(sent, exact) << mbs << " MB/s";
    EXPECT_GE(sent, exact - 1) << mbs << " MB/s";
  }
}

TEST(RateCap, ABurstIsAtMostTheBucketAndACopyStartsEmpty) {
  RateCap cap;
  cap.set(10);  // 10,000 bytes a millisecond
  cap.restart(0);
  EXPECT_EQ(cap.allowance(0, 1000, kDatagram), 0) << "a copy starts with an empty bucket";
  // A long pause does not save up more than the bucket holds.
  const int bucket = RateCap::kBucketMs * 10'000;
  EXPECT_EQ(cap.allowance(500, 1000, kDatagram), bucket / kDatagram);
  cap.spend(14, kDatagram);
  EXPECT_EQ(cap.allowance(500, 1000, kDatagram), (bucket - 14 * kDatagram) / kDatagram);
  cap.spend((bucket - 14 * kDatagram) / kDatagram, kDatagram);
  EXPECT_EQ(cap.allowance(500, 1000, kDatagram), 0);
  EXPECT_EQ(cap.allowance(501, 1000, kDatagram), (bucket % kDatagram + 10'000) / kDatagram);
}

TEST(RateCap, AWorkerThatLooksInLateStillKeepsTheRate) {
  RateCap cap;
  cap.set(5);
  cap.restart(0);
  // Every look comes 3 ms after the last: nothing is lost to a full bucket.
  long sent = 0;
  for (Tick t = 3; t <= 3000; t += 3) {
    const int n = cap.allowance(t, 1000, kDatagram);
    cap.spend(n, kDatagram);
    sent += n;
  }
  EXPECT_GE(sent, 3 * 5'000'000L / 1000 / kDatagram - 1);
}

TEST(RateCap, AFractionOfADatagramCarriesOverAndOneDatagramAlwaysFits) {
  RateCap cap;
  cap.set(1);  // 1,000 bytes a millisecond: one datagram every 1.35 ms
  cap.restart(0);
  EXPECT_EQ(cap.allowance(1, 5, kDatagram), 0);
  EXPECT_EQ(cap.allowance(2, 5, kDatagram), 1) << "the bucket holds at least one datagram";
  cap.spend(1, kDatagram);
  EXPECT_EQ(send_for(cap, 2, 1348, 5), 999) << "1,350 ms carry exactly 1,000 datagrams";
}

TEST(RateCap, TheMillisecondCounterWrappingChangesNothing) {
  RateCap wrapping, plain;
  wrapping.set(5);
  plain.set(5);
  wrapping.restart(0xFFFFFE00u);
  plain.restart(1000);
  EXPECT_EQ(send_for(wrapping, 0xFFFFFE00u, 1000, 50), send_for(plain, 1000, 1000, 50));
}

}  // namespace
}  // namespace kestrelon
