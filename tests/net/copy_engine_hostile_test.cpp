// The copy engine against answers it must not follow, over real sockets on
// loopback with the clock stepped by hand: answers from a host that is no target
// or that name a target they do not come from, a flood of resend requests under
// a rate cap, and requests for blocks never sent.
#include <random>

#include "copy_rig.h"
#include "transfer/copy_engine.h"

namespace kestrelon {
namespace {

using test::client_address;
using test::kController;
using namespace std::chrono_literals;

class CopyEngineHostileTest : public test::CopyRig {
 protected:
  void SetUp() override {
    CopyRig::SetUp();
    ASSERT_TRUE(stranger.control.ok());
  }
  // Sends from the stranger's address and waits until the Controller handled it.
  void from_stranger(const std::vector<std::uint8_t>& datagram) {
    const std::uint64_t before = handled();
    stranger.control.send(datagram, kController, wire::kControlPort);
    for (int i = 0; i < 400 && handled() == before; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_GT(handled(), before);
  }
  test::ScriptedClient stranger{client_address(9)};
};

TEST_F(CopyEngineHostileTest, OnlyTargetsAnswerAndEachOnlyForItself) {
  start_copy(1350 * 100, 2);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  ack(0, 3, 100, 10'000);

  // A host that is no target, in its own name and in a target's.
  const Ipv4Address self = stranger.address;
  for (const Ipv4Address named : {self, client_address(1)}) {
    from_stranger(test::copy_ack_datagram(19, named, 4'000'000, 4'000'000));
    from_stranger(test::copy_ack_datagram(18, named, 4'000'000, 4'000'000));
    from_stranger(test::copy_nak_datagram(0, 4'000'000, 4'000'000));
    from_stranger(test::copy_done_datagram(named));
  }
  // A target naming the other one.
  deliver(0, test::copy_done_datagram(client_address(1)));
  deliver(0, test::copy_ack_datagram(18, client_address(1), 0, 0));

  EXPECT_EQ(engine.highest_acknowledged(), 3) << "the window stays where the targets put it";
  EXPECT_EQ(engine.lowest_requested(), -1) << "no resend for a host that is no target";
  EXPECT_EQ(stats.retries, 0);
  EXPECT_EQ(stats.acknowledgements, 1);
  EXPECT_EQ(stats.progress_done, 100u) << "progress figures only from targets";
  EXPECT_EQ(stats.progress_total, 10'000u);
  EXPECT_EQ(target(0).done + target(1).done, 0);
  EXPECT_EQ(engine.first_done_deadline(), 0u);
  EXPECT_TRUE(engine.copy_running());
  EXPECT_EQ(engine.stray_answers(), 10u);
  EXPECT_EQ(hooks.cancels, 0);
  EXPECT_EQ(numbers(tick()), range(19, 22)) << "sending goes on from the targets' acknowledgement";

  done(1);
  done(0);
  EXPECT_FALSE(engine.copy_running()) << "each target's own completion ends the copy";
}

TEST_F(CopyEngineHostileTest, AStrangersResendRequestsHoldNothingBackInFastMode) {
  engine.set_tuning({.fast = true});
  start_copy(1350 * 5000, 1);
  ack(0, 2500);
  for (int i = 0; i < 50; ++i) {
    from_stranger(test::copy_nak_datagram(0, 0, 0));
    clock.advance(1);
    engine.tick();
    sent_to(0);
  }
  EXPECT_GT(engine.next_block(), CopyEngine::kLagLimit + 100) << "the lag bound follows targets only";
  EXPECT_EQ(stats.retries, 0);
}

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
