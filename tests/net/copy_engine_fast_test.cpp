// The copy engine's fast mode and rate cap over real sockets on loopback, the
// clock stepped by hand: resend requests served by sending the block alone, the
// probe when acknowledgements stop, the cap on what is sent, and the window that
// every mode keeps.
#include <random>

#include "copy_rig.h"
#include "transfer/copy_engine.h"

namespace kestrelon {
namespace {

using CopyEngineFastTest = test::CopyRig;

constexpr CopyTuning kFast{.fast = true};

TEST_F(CopyEngineFastTest, AcknowledgementsOpenTheWindowAsInTheDefaultMode) {
  engine.set_tuning(kFast);
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  EXPECT_TRUE(tick().empty()) << "the window is full";
  ack(0, 4);
  EXPECT_EQ(numbers(tick()), range(19, 23));
  ack(0, 23);
  const auto blocks = tick();
  EXPECT_EQ(numbers(blocks), range(24, 42)) << "more than 20 may wait, the window still bounds them";
  for (const auto& b : blocks) EXPECT_TRUE(carries_file_bytes(b)) << "block " << b.block;
}

TEST_F(CopyEngineFastTest, ALostBlockIsSentAgainAloneAndSendingGoesOn) {
  engine.set_tuning(kFast);
  start_copy(1350 * 100);
  tick();
  ack(0, 4);
  nak(0, 7);
  nak(0, 7);  // repeated before it was served
  nak(0, 30);  // not sent yet: it comes in its turn
  EXPECT_EQ(stats.retries, 2) << "a block waiting already counts no retry";
  EXPECT_EQ(engine.lowest_requested(), -1) << "no go-back is pending";
  const auto blocks = tick();
  std::vector<std::int32_t> want{7};
  for (std::int32_t b = 19; b <= 23; ++b) want.push_back(b);
  EXPECT_EQ(numbers(blocks), want) << "no wait of nt, no go-back";
  EXPECT_TRUE(carries_file_bytes(blocks[0]));
  EXPECT_EQ(engine.next_block(), 24);
  EXPECT_EQ(engine.state(), CopyEngine::sending);
}

TEST_F(CopyEngineFastTest, TheBlockAfterAResentOneBringsARunAndTheBlockAfterARunAGoBack) {
  engine.set_tuning(kFast);
  start_copy(1350 * 100);
  tick();
  ack(0, 18);
  tick();
  ack(0, 37);
  EXPECT_EQ(numbers(tick()), range(38, 56));
  nak(0, 20);
  EXPECT_EQ(numbers(tick()), std::vector<std::int32_t>{20});
  // Its Client lost 21 too: a stretch was lost, or it keeps no early blocks.
  nak(0, 21);
  EXPECT_EQ(numbers(tick()), range(21, 40)) << "the next 20 blocks";
  EXPECT_EQ(engine.next_block(), 57) << "the send position stays";
  // And lost what followed the run: it needs everything from 41 on, in order.
  nak(0, 41);
  EXPECT_EQ(numbers(tick()), range(41, 56));
  EXPECT_EQ(engine.next_block(), 57);
}

TEST_F(CopyEngineFastTest, OnceEverythingIsSentARequestGoesBackToTheLowestRequestedBlock) {
  engine.set_tuning(kFast);
  start_copy(1350 * 30);
  tick();
  ack(0, 18);
  EXPECT_EQ(numbers(tick()), range(19, 29));
  // No later block would show the Client its next gap: everything from 22 again.
  nak(0, 25);
  nak(0, 22);
  EXPECT_EQ(numbers(tick()), range(22, 29));
  EXPECT_TRUE(tick().empty());
}

TEST_F(CopyEngineFastTest, WhenAcknowledgementsStopTheBlockAfterTheHighestIsProbedAtDoublingIntervals) {
  engine.set_tuning(kFast);
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  Tick wait = CopyEngine::kProbeWait;
  for (int i = 0; i < 3; ++i, wait *= 2) {
    clock.advance(wait);
    EXPECT_TRUE(tick().empty()) << "not before " << wait << " ms";
    clock.advance(1);
    EXPECT_EQ(numbers(tick()), std::vector<std::int32_t>{0}) << "probe " << i;
  }
  ack(0, 5);
  EXPECT_EQ(numbers(tick()), range(19, 24));
  clock.advance(CopyEngine::kProbeWait + 1);
  EXPECT_EQ(numbers(tick()), std::vector<std::int32_t>{6}) << "an acknowledgement starts the wait afresh";

  // Near the end, with the window open but nothing left to send, the same.
  ack(0, 95);
  EXPECT_EQ(numbers(tick()), range(25, 99));
  clock.advance(CopyEngine::kProbeWait + 1);
  EXPECT_EQ(numbers(tick()), std::vector<std::int32_t>{96});
}

TEST_F(CopyEngineFastTest, AWindowFullTimeoutStillHandsTheAcknowledgingRoleOn) {
  engine.set_tuning({.rc = 2, .rt = 300, .nt = 11, .fast = true});
  start_copy(1350 * 400, 2);
  tick();
  ack(0, 32);
  ack(1, 32);
  ASSERT_EQ(engine.acker_address(), test::client_address(1));
  tick();
  for (int i = 0; i < 2; ++i) {
    clock.advance(301);
    tick();
  }
  EXPECT_EQ(engine.acker_address(), test::client_address(0));
  EXPECT_EQ(unicasts_to(0, wire::OP_ACKER), 1);
}

TEST_F(CopyEngineFastTest, AClientFarBehindHoldsNewBlocksBackUntilItCatchesUpOrFallsQuiet) {
  engine.set_tuning(kFast);
  start_copy(1350 * 5000, 2);
  // Client 0 acknowledges far ahead; client 1 has lost blocks it did not.
  ack(0, 2500);
  for (int i = 0; i < 200 && engine.next_block() < 1300; ++i) {
    engine.tick();
    sent_to(0);
    sent_to(1);
  }
  const std::int32_t front = engine.next_block();
  ASSERT_GE(front, 1300);
  nak(1, 100);
  EXPECT_EQ(numbers(tick(1)), (std::vector<std::int32_t>{100, front - 1}))
      << "the block asked for, then the newest one so that the Client asks for its next gap";
  EXPECT_EQ(engine.next_block(), front) << "no new block while client 1 is " << front - 100 << " behind";
  EXPECT_TRUE(tick(1).empty()) << "the newest block goes at most once a tick";
  clock.advance(1);
  EXPECT_EQ(numbers(tick(1)), std::vector<std::int32_t>{front - 1});

  // It has caught up to block 600: new blocks go up to 1,000 past it.
  nak(1, 600);
  std::vector<std::int32_t> got;
  for (int i = 0; i < 20; ++i) {
    for (std::int32_t b : numbers(tick(1))) got.push_back(b);
  }
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front(), 600);
  EXPECT_EQ(engine.next_block(), 600 + CopyEngine::kLagLimit);
  EXPECT_EQ(got.back(), 600 + CopyEngine::kLagLimit - 1);

  // Quiet since: caught up, or its last resend was lost. It is let go, that
  // block goes once more, and the window alone bounds what is sent.
  clock.advance(CopyEngine::kLagQuiet + 1);
  const auto after = numbers(tick(1));
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ(after.front(), 600);
  EXPECT_EQ(after[1], 600 + CopyEngine::kLagLimit);
  EXPECT_GT(engine.next_block(), 600 + CopyEngine::kLagLimit);
}

class RateCapEngineTest : public test::CopyRig, public ::testing::WithParamInterface<bool> {};

TEST_P(RateCapEngineTest, TheCapBoundsWhatIsSentWhateverTheMode) {
  engine.set_tuning({.fast = GetParam(), .rate_mbs = 5});
  start_copy(1350 * 2000);
  engine.tick();  // the copy's first tick starts the cap's count with an empty bucket
  // 300 ms, one tick each, everything sent acknowledged at once.
  for (int ms = 0; ms < 300; ++ms) {
    clock.advance(1);
    engine.tick();
    if (engine.next_block() > engine.highest_acknowledged() + 1) ack(0, static_cast<std::uint32_t>(engine.next_block() - 1));
  }
  const std::uint64_t sent = engine.blocks_sent();
  const std::uint64_t allowed = 300 * 5000 / 1350;  // 5,000 bytes a millisecond
  EXPECT_LE(sent, allowed);
  EXPECT_GE(sent, allowed - 1) << "the window never held it back";
}

INSTANTIATE_TEST_SUITE_P(DefaultAndFast, RateCapEngineTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Fast" : "Default"; });

// A Client that acknowledges and asks for blocks at random, the clock moving by
// a few milliseconds at a time: whatever the mode, no block goes out more than 19
// past the highest acknowledged one, and every block carries the file's bytes.
class WindowInEveryModeTest : public test::CopyRig, public ::testing::WithParamInterface<CopyTuning> {};

TEST_P(WindowInEveryModeTest, NeverMoreThan19BlocksPastTheHighestAcknowledged) {
  engine.set_tuning(GetParam());
  constexpr std::int32_t kBlocks = 400;
  start_copy(1350 * kBlocks - 77);
  std::mt19937 dice(16);
  int sent = 0;
  for (int step = 0; step < 300 && engine.highest_acknowledged() < kBlocks - 1; ++step) {
    const std::int32_t highest = engine.highest_acknowledged();
    const std::int32_t next = engine.next_block();
    const auto roll = dice() % 10;
    if (roll < 5 && next > highest + 1) {
      ack(0, static_cast<std::uint32_t>(highest + 1 + static_cast<std::int32_t>(dice() % static_cast<unsigned>(next - highest - 1))));
    } else if (roll < 7 && next > highest + 1) {
      nak(0, static_cast<std::uint32_t>(highest + 1 + static_cast<std::int32_t>(dice() % static_cast<unsigned>(next - highest - 1))));
    }
    clock.advance(dice() % 6);
    const std::int32_t limit = engine.highest_acknowledged() + 19;
    engine.tick();
    // A short quiet wait: a late datagram is only checked against a later, higher limit.
    for (const auto& r : clients[0]->data.receive_all(3)) {
      const test::DataBlock b = test::decode_data(r.bytes);
      ++sent;
      ASSERT_GE(b.block, 0);
      ASSERT_LE(b.block, limit) << "step " << step;
      ASSERT_EQ(b.count, b.block == kBlocks - 1 ? 1350 - 77 : 1350);
      ASSERT_TRUE(carries_file_bytes(b)) << "block " << b.block;
    }
  }
  EXPECT_GT(sent, 300) << "the copy moved on";
}

INSTANTIATE_TEST_SUITE_P(Modes, WindowInEveryModeTest,
                         ::testing::Values(CopyTuning{}, CopyTuning{.nt = 1}, CopyTuning{.fast = true},
                                           CopyTuning{.fast = true, .rate_mbs = 3}, CopyTuning{.rate_mbs = 3}),
                         [](const auto& p) {
                           return std::string(p.param.fast ? "Fast" : "Default") + (p.param.nt == 1 ? "Nt1" : "") +
                                  (p.param.rate_mbs ? "Capped" : "");
                         });

}  // namespace
}  // namespace kestrelon
