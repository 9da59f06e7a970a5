// The resend requests waiting for the copy worker in fast mode.
#include "transfer/resend_requests.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kestrelon {
namespace {

std::vector<std::int32_t> take_all(ResendRequests& r) {
  std::array<std::int32_t, ResendRequests::kCapacity> out{};
  const int n = r.take(out);
  return {out.begin(), out.begin() + n};
}

TEST(ResendRequests, TakenLowestFirstEachBlockOnce) {
  ResendRequests r;
  EXPECT_TRUE(r.add(40));
  EXPECT_TRUE(r.add(7));
  EXPECT_FALSE(r.add(40)) << "already waiting";
  EXPECT_TRUE(r.add(12));
  EXPECT_EQ(take_all(r), (std::vector<std::int32_t>{7, 12, 40}));
  EXPECT_TRUE(take_all(r).empty()) << "taking empties it";
  EXPECT_TRUE(r.add(40)) << "a block may wait again once taken";
  r.clear();
  EXPECT_TRUE(take_all(r).empty());
}

TEST(ResendRequests, WhenFullFurtherRequestsAreRefused) {
  ResendRequests r;
  for (int b = 0; b < ResendRequests::kCapacity; ++b) EXPECT_TRUE(r.add(1000 - b));
  EXPECT_FALSE(r.add(1));
  const auto got = take_all(r);
  ASSERT_EQ(got.size(), static_cast<std::size_t>(ResendRequests::kCapacity));
  EXPECT_EQ(got.front(), 1000 - ResendRequests::kCapacity + 1);
  EXPECT_EQ(got.back(), 1000);
  EXPECT_TRUE(r.add(1));
}

TEST(ResendRequests, RequestsFromSeveralThreadsAreAllKept) {
  ResendRequests r;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&r, t] {
      for (int i = 0; i < 16; ++i) r.add(t * 16 + i);
    });
  }
  for (auto& t : threads) t.join();
  const auto got = take_all(r);
  ASSERT_EQ(got.size(), 64u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], i);
}

}  // namespace
}  // namespace kestrelon
