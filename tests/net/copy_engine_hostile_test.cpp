// The copy engine against requests it must not follow, over real sockets on
// loopback with the clock stepped by hand: a flood of resend requests under a
// rate cap, and requests for blocks never sent. (Answers from hosts that are no
// target: the hostile-LAN lab tests.)
#include <random>

#include "copy_rig.h"
#include "transfer/copy_engine.h"

namespace kestrelon {
namespace {

using CopyEngineHostileTest = test::CopyRig;

// Resend requests from a target, as fast as it can send them: the cap holds
// whatever they ask for, and once they stop the copy goes on at the cap at once.
class CappedFloodTest : public test::CopyRig, public ::testing::WithParamInterface<bool> {};

TEST_P(CappedFloodTest, RequestsNeverTakeTheCopyPastTheCapOrStopIt) {
  engine.set_tuning({.fast = GetParam(), .rate_mbs = 5});
  start_copy(1350 * 20'000, 1);
  engine.tick();
  std::mt19937 dice(3);
  const auto acknowledge_all = [&] {
    if (engine.next_block() > engine.highest_acknowledged() + 1) {
      ack(0, static_cast<std::uint32_t>(engine.next_block() - 1));
    }
  };
  // 200 ms of requests for blocks already sent, two a millisecond.
  for (int ms = 0; ms < 200; ++ms) {
    for (int k = 0; k < 2; ++k) {
      const std::int32_t next = engine.next_block();
      if (next > 0) nak(0, static_cast<std::uint32_t>(dice() % static_cast<unsigned>(next)));
    }
    clock.advance(1);
    engine.tick();
    acknowledge_all();
  }
  const std::uint64_t allowed = 200 * 5000 / 1350 + 1;  // 5,000 bytes a millisecond
  EXPECT_LE(engine.blocks_sent(), allowed) << "resends are charged to the cap";
  EXPECT_GT(engine.next_block(), 0);

  // Then quiet: the cap's full rate at once, no debt to pay off first.
  const std::uint64_t before = engine.blocks_sent();
  const std::int32_t front = engine.next_block();
  for (int ms = 0; ms < 100; ++ms) {
    clock.advance(1);
    engine.tick();
    acknowledge_all();
  }
  EXPECT_GE(engine.blocks_sent() - before, 80u * 5000 / 1350) << "at most a resend delay goes by first";
  EXPECT_GT(engine.next_block(), front) << "new blocks go out";
  for (auto& c : clients) c->data.receive_all(5);
}

INSTANTIATE_TEST_SUITE_P(DefaultAndFast, CappedFloodTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Fast" : "Default"; });

TEST_F(CopyEngineHostileTest, ARequestForABlockNeverSentIsNotFollowed) {
  start_copy(1350 * 200, 1);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  nak(0, 150);
  EXPECT_EQ(engine.lowest_requested(), -1) << "block 150 goes out in its turn";
  EXPECT_EQ(stats.retries, 0);
  ack(0, 18);
  EXPECT_EQ(numbers(tick()), range(19, 37)) << "no jump ahead, no waiting";
  nak(0, 5);
  EXPECT_EQ(engine.lowest_requested(), 5) << "a block already sent is sent again";
}

}  // namespace
}  // namespace kestrelon
