// Where the Clients that ask for blocks again stand, in fast mode.
#include "transfer/lagging_clients.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrelon {
namespace {

struct Lowest {
  std::int32_t block;
  std::vector<std::int32_t> released;
};

Lowest lowest(LaggingClients& c, Tick now, Tick quiet) {
  std::array<std::int32_t, LaggingClients::kCapacity> out{};
  int n = 0;
  const std::int32_t block = c.lowest(now, quiet, out, n);
  return {block, {out.begin(), out.begin() + n}};
}

Ipv4Address pc(int i) { return Ipv4Address(10, 0, 0, static_cast<std::uint8_t>(i)); }

TEST(LaggingClients, TheLowestRecentRequestCountsAndEachClientOnlyByItsLatest) {
  LaggingClients c;
  EXPECT_EQ(lowest(c, 100, 3).block, -1) << "nobody has asked";
  c.heard(pc(1), 500, 100);
  c.heard(pc(2), 300, 100);
  EXPECT_EQ(lowest(c, 101, 3).block, 300);
  c.heard(pc(2), 900, 101);  // it has everything below 900 now
  EXPECT_EQ(lowest(c, 101, 3).block, 500);
}

TEST(LaggingClients, AQuietClientIsLetGoWithItsLastBlock) {
  LaggingClients c;
  c.heard(pc(1), 500, 100);
  c.heard(pc(2), 300, 102);
  auto l = lowest(c, 103, 3);
  EXPECT_EQ(l.block, 300) << "3 ms of quiet is not yet too long";
  EXPECT_TRUE(l.released.empty());
  l = lowest(c, 104, 3);
  EXPECT_EQ(l.block, 300);
  EXPECT_EQ(l.released, std::vector<std::int32_t>{500});
  l = lowest(c, 104, 3);
  EXPECT_TRUE(l.released.empty()) << "let go once";
  EXPECT_EQ(lowest(c, 200, 3).block, -1);
  c.heard(pc(3), 7, 0xFFFFFFFEu);
  EXPECT_EQ(lowest(c, 1, 3).block, 7) << "across the wrap of the tick count";
  c.clear();
  EXPECT_EQ(lowest(c, 1, 3).block, -1);
}

TEST(LaggingClients, WhenFullTheClientHeardLongestAgoGivesWay) {
  LaggingClients c;
  for (int i = 0; i < LaggingClients::kCapacity; ++i) c.heard(pc(i + 1), 1000 + i, static_cast<Tick>(10 + i));
  c.heard(pc(200), 5000, 80);
  // pc(1), heard at 10 with block 1000, is gone: the lowest is now pc(2)'s.
  const auto l = lowest(c, 80, 1000);
  EXPECT_EQ(l.block, 1001);
  EXPECT_TRUE(l.released.empty());
}

}  // namespace
}  // namespace kestrelon
