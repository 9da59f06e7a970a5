// The copy engine over real sockets on loopback: scripted Clients send their
// answers to the Controller's endpoint and listen on the data group, and the test
// steps the engine's clock and ticks it by hand, so every packet sequence is exact.
#include "transfer/copy_engine.h"

#include <unistd.h>

#include "copy_rig.h"
#include "transfer/copy_worker.h"

namespace kestrelon {
namespace {

using test::client_address;
using test::kController;
using CopyEngineTest = test::CopyRig;
using namespace std::chrono_literals;

TEST_F(CopyEngineTest, CopyStartTellsEachTargetItsDiskThroughItsInterfaceAndNoTargetsFails) {
  make_image(1'048'575);
  EXPECT_FALSE(engine.copy_start(image, CopyOptions{}));
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"No clients have been checked (discovered) !"});

  add_targets(3);
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{.keep_partition_size = true, .sector_by_sector = true}));
  for (int i = 0; i < 3; ++i) {
    const auto got = clients[static_cast<std::size_t>(i)]->control.receive_all(30);
    ASSERT_EQ(got.size(), 1u) << "client " << i;
    const auto& d = got[0].bytes;
    ASSERT_EQ(d.size(), wire::kCopyStartLength);
    EXPECT_EQ(read_be16(d, 6), wire::OP_COPY_START);
    EXPECT_EQ(read_be32(d, 14), 1023u) << "length in KiB";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data() + 18)), "lab.krn");
    EXPECT_EQ(read_be16(d, 98), i % 3) << "the selected disk from the client table";
    EXPECT_EQ(read_be16(d, 100), 5) << "keep partition size + sector by sector";
    EXPECT_EQ(got[0].from, kController);
    EXPECT_EQ(target(i).interface_index, 0);
  }
  EXPECT_FALSE(engine.copy_running()) << "nothing is sent before every target is ready";
  EXPECT_TRUE(tick().empty());
}

TEST_F(CopyEngineTest, EngineStartsWhenTheLastTargetIsReady) {
  add_targets(2);
  make_image(50'000);
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  ready(0);
  EXPECT_FALSE(engine.copy_running());
  ready(1);
  EXPECT_TRUE(engine.copy_running());
  EXPECT_EQ(hooks.range_high, 1000);
  EXPECT_EQ(hooks.position, 0);
  EXPECT_EQ(engine.state(), CopyEngine::sending);
}

TEST_F(CopyEngineTest, ATargetCountsOnceHoweverOftenItAnswersReady) {
  add_targets(3);
  make_image(50'000);
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  ready(0);
  ready(0);
  ready(1);
  ready(1);
  EXPECT_FALSE(engine.copy_running()) << "target 2 has not answered";
  EXPECT_EQ(engine.ready_count(), 2);
  ready(2);
  EXPECT_TRUE(engine.copy_running());
}

TEST_F(CopyEngineTest, AReadyAnswerFromAnAddressThatIsNoTargetDoesNotCount) {
  add_targets(2);
  make_image(50'000);
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  ready(0);
  test::ScriptedClient stranger(client_address(9));
  ASSERT_TRUE(stranger.control.ok());
  for (int i = 0; i < 3; ++i) {
    const std::uint64_t before = handled();
    stranger.control.send(test::copy_ready_datagram(), kController, wire::kControlPort);
    for (int k = 0; k < 400 && handled() == before; ++k) std::this_thread::sleep_for(5ms);
  }
  EXPECT_FALSE(engine.copy_running()) << "target 1 has not answered";
  EXPECT_EQ(engine.ready_count(), 1);
  EXPECT_EQ(engine.stray_answers(), 3u);
  ready(1);
  EXPECT_TRUE(engine.copy_running());
}

TEST_F(CopyEngineTest, TargetsThatHaveNotAnsweredAreToldAgainUntilEveryOneHas) {
  add_targets(2);
  make_image(50'000);
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  EXPECT_EQ(unicasts_to(0, wire::OP_COPY_START), 1);
  EXPECT_EQ(unicasts_to(1, wire::OP_COPY_START), 1);
  ready(0);

  clock.advance(CopyEngine::kStartRepeat - 1);
  engine.tick();
  EXPECT_EQ(unicasts_to(1, wire::OP_COPY_START), 0) << "not before a second has passed";
  clock.advance(1);
  engine.tick();
  EXPECT_EQ(unicasts_to(0, wire::OP_COPY_START), 0) << "target 0 has answered";
  const auto again = clients[1]->control.receive_all(30);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(read_be16(again[0].bytes, 98), 1) << "its own selected disk again";
  EXPECT_TRUE(sent_to(1).empty()) << "no data before every target is ready";

  clock.advance(CopyEngine::kStartRepeat);
  engine.tick();
  EXPECT_EQ(unicasts_to(1, wire::OP_COPY_START), 1) << "and again a second later";
  ready(1);
  ASSERT_TRUE(engine.copy_running());
  clock.advance(CopyEngine::kStartRepeat);
  engine.tick();
  EXPECT_EQ(unicasts_to(1, wire::OP_COPY_START), 0) << "never once the copy runs";
}

TEST_F(CopyEngineTest, AFileOf1350mBytesIsMBlocksAndOneMoreByteAddsABlockOfOne) {
  start_copy(1350 * 5);
  auto blocks = tick();
  ASSERT_EQ(numbers(blocks), range(0, 4));
  for (const auto& b : blocks) {
    EXPECT_EQ(b.count, 1350);
    EXPECT_TRUE(carries_file_bytes(b)) << "block " << b.block;
  }
  EXPECT_TRUE(tick().empty());

  engine.attach_dialog(nullptr);
  image.close();
  clients.clear();
  tables = ClientTables{};
  start_copy(1350 * 5 + 1);
  blocks = tick();
  ASSERT_EQ(numbers(blocks), range(0, 5));
  EXPECT_EQ(blocks[5].count, 1);
  EXPECT_TRUE(carries_file_bytes(blocks[5])) << "one byte, the rest of the field zero";
}

TEST_F(CopyEngineTest, TheFirstBurstIsBlocks0To18AndThenTheWindowIsFull) {
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  clock.advance(1);
  EXPECT_TRUE(tick().empty()) << "no acknowledgement yet: the window is full";
  clock.advance(299);
  EXPECT_TRUE(tick().empty()) << "not later than the activity deadline";
}

TEST_F(CopyEngineTest, AcknowledgementsMoveTheWindowAndAWindowFullTimeoutResendsIt) {
  start_copy(1350 * 100);
  tick();
  ack(0, 4);
  EXPECT_EQ(numbers(tick()), range(19, 23)) << "up to highest acknowledged + 19";
  EXPECT_EQ(stats.acknowledgements, 1);

  clock.advance(300);
  EXPECT_TRUE(tick().empty()) << "exactly at the deadline is not later";
  clock.advance(1);
  const auto again = tick();
  EXPECT_EQ(numbers(again), range(5, 23)) << "highest + 1 to highest + 19 again";
  for (const auto& b : again) EXPECT_TRUE(carries_file_bytes(b)) << "block " << b.block;
  EXPECT_EQ(engine.stall_count(), 1);

  clock.advance(300);
  EXPECT_TRUE(tick().empty()) << "the deadline moved on by rt";
  clock.advance(1);
  EXPECT_EQ(numbers(tick()), range(5, 23));
  EXPECT_EQ(engine.stall_count(), 2);
}

TEST_F(CopyEngineTest, NearTheEndNothingIsResentWithoutAResendRequest) {
  start_copy(1350 * 10);
  EXPECT_EQ(numbers(tick()), range(0, 9));
  for (int i = 0; i < 5; ++i) {
    clock.advance(1000);
    EXPECT_TRUE(tick().empty());
  }
  nak(0, 4);
  EXPECT_TRUE(tick().empty()) << "the resend waits for nt";
  clock.advance(12);
  EXPECT_TRUE(tick().empty()) << "this tick goes back to block 4";
  EXPECT_EQ(numbers(tick()), range(4, 9));
}

TEST_F(CopyEngineTest, ALowerResendRequestWithinNtWins) {
  start_copy(1350 * 100);
  tick();
  nak(0, 7);
  tick();  // resend pending from now
  EXPECT_EQ(engine.state(), CopyEngine::resend_pending);
  clock.advance(5);
  nak(0, 3);
  tick();
  EXPECT_EQ(engine.state(), CopyEngine::resend_pending);
  clock.advance(7);  // 12 ms after the first request: later than nt = 11
  tick();
  EXPECT_EQ(engine.state(), CopyEngine::sending);
  EXPECT_EQ(numbers(tick()), range(3, 18));
  EXPECT_EQ(stats.retries, 2);
}

TEST_F(CopyEngineTest, AHigherResendRequestIsDroppedAndCountsNoRetry) {
  start_copy(1350 * 100);
  tick();
  nak(0, 3);
  nak(0, 9);
  EXPECT_EQ(stats.retries, 1);
  tick();
  clock.advance(12);
  tick();
  const auto blocks = tick();
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks.front().block, 3);
  EXPECT_TRUE(carries_file_bytes(blocks.front()));
}

TEST_F(CopyEngineTest, AResendRequestForABlockTheFileDoesNotHaveIsIgnored) {
  start_copy(1350 * 10);
  tick();
  nak(0, 10);
  nak(0, 0x80000001u);
  EXPECT_EQ(stats.retries, 0);
  EXPECT_EQ(engine.lowest_requested(), -1);
}

// Going to a block not sent yet would skip the blocks before it, which every
// target would then ask for: it goes out in its turn.
TEST_F(CopyEngineTest, ARequestForABlockNeverSentIsNotFollowed) {
  start_copy(1350 * 200);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  nak(0, 150);
  EXPECT_EQ(engine.lowest_requested(), -1);
  EXPECT_EQ(stats.retries, 0);
  ack(0, 18);
  EXPECT_EQ(numbers(tick()), range(19, 37)) << "no jump ahead, no waiting";
}

TEST_F(CopyEngineTest, AnAcknowledgementOfABlockPastTheEndIsIgnored) {
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  ack(0, 1'000'000, 5, 500);
  ack(0, 100);  // the file's blocks are 0 to 99
  EXPECT_EQ(engine.highest_acknowledged(), -1);
  EXPECT_EQ(engine.ranked_count(), 0) << "no rank is earned with a block the file does not have";
  EXPECT_EQ(stats.acknowledgements, 0);
  EXPECT_EQ(stats.progress_done, 0u);
  EXPECT_EQ(engine.stray_answers(), 2u);
  EXPECT_TRUE(tick().empty()) << "the window stays where real acknowledgements put it";
  clock.advance(301);
  EXPECT_EQ(numbers(tick()), range(0, 18)) << "and a window-full timeout still resends it";
  ack(0, 99);
  EXPECT_EQ(engine.highest_acknowledged(), 99) << "the last block is acknowledged as usual";
}

TEST_F(CopyEngineTest, ALowerAcknowledgementResetsTheStallCountButCountsNothing) {
  start_copy(1350 * 100);
  tick();
  ack(0, 10);
  tick();  // 19..29
  clock.advance(301);
  tick();  // window-full timeout
  EXPECT_EQ(engine.stall_count(), 1);
  ack(0, 5);
  EXPECT_EQ(engine.stall_count(), 0);
  EXPECT_EQ(stats.acknowledgements, 1);
  EXPECT_EQ(engine.highest_acknowledged(), 10);
  clock.advance(300);
  EXPECT_TRUE(tick().empty()) << "the lower acknowledgement moved the activity deadline";
  clock.advance(1);
  EXPECT_EQ(numbers(tick()), range(11, 29));
}

TEST_F(CopyEngineTest, NoAckerIsDesignatedWhileATargetHasNoRank) {
  start_copy(1350 * 200, 3);
  tick();
  ack(0, 40);
  ack(1, 31);  // below the rank threshold
  ack(1, 45);
  EXPECT_EQ(engine.ranked_count(), 2);
  EXPECT_EQ(engine.acker_address(), client_address(1)) << "the latest ranked target leads meanwhile";
  ack(0, 50);  // already ranked
  ack(1, 50);
  EXPECT_EQ(unicasts_to(0, wire::OP_ACKER) + unicasts_to(1, wire::OP_ACKER) + unicasts_to(2, wire::OP_ACKER), 0);
  EXPECT_FALSE(engine.acker_designated());

  ack(2, 33);
  EXPECT_EQ(engine.ranked_count(), 3);
  EXPECT_EQ(unicasts_to(2, wire::OP_ACKER), 1) << "the last target to reach block 32 is told it leads";
  EXPECT_EQ(unicasts_to(0, wire::OP_ACKER), 0);
  EXPECT_EQ(engine.acker_address(), client_address(2));
  EXPECT_TRUE(engine.acker_designated());
  EXPECT_EQ(target(0).rank, 1);
  EXPECT_EQ(target(1).rank, 2);
  EXPECT_EQ(target(2).rank, 3);
}

TEST_F(CopyEngineTest, ASilentAckerHandsOverFromRank3To2To1AndThenTheCopyIsCancelled) {
  engine.set_tuning({.rc = 2, .rt = 300, .nt = 11});
  start_copy(1350 * 400, 3);
  tick();
  ack(0, 32);
  ack(1, 32);
  ack(2, 32);
  ASSERT_EQ(engine.acker_address(), client_address(2));
  EXPECT_EQ(numbers(tick()), range(19, 38)) << "at most 20 blocks per tick";
  EXPECT_EQ(numbers(tick()), range(39, 51)) << "the window up to 51 is full now";
  auto time_out = [&] {
    clock.advance(301);
    tick();
  };
  time_out();
  EXPECT_EQ(engine.acker_address(), client_address(2)) << "one timeout is not enough with rc = 2";
  time_out();
  EXPECT_EQ(engine.acker_address(), client_address(1));
  EXPECT_EQ(unicasts_to(1, wire::OP_ACKER), 1);
  time_out();
  time_out();
  EXPECT_EQ(engine.acker_address(), client_address(0));
  EXPECT_EQ(unicasts_to(0, wire::OP_ACKER), 1);
  EXPECT_EQ(hooks.cancels, 0);
  time_out();
  time_out();
  EXPECT_EQ(hooks.cancels, 1) << "rank 1 silent: nobody is left to follow";
}

TEST_F(CopyEngineTest, DoneFromEveryTargetEndsTheCopyAndARepeatedDoneChangesNothing) {
  start_copy(1350 * 10, 2);
  tick();
  done(0);
  const Tick deadline = engine.first_done_deadline();
  EXPECT_EQ(deadline, clock.now() + 5000);
  EXPECT_EQ(target(0).done, 1);
  clock.advance(1000);
  done(0);
  EXPECT_EQ(engine.first_done_deadline(), deadline) << "the grace starts with the first DONE only";
  EXPECT_TRUE(engine.copy_running());
  EXPECT_EQ(target(1).done, 0);
  EXPECT_EQ(hooks.cancels, 0);

  done(1);
  EXPECT_FALSE(engine.copy_running());
  EXPECT_EQ(hooks.cancels, 1) << "the Transfer dialog ends through its cancel path";
}

TEST_F(CopyEngineTest, ProgressPositionUsesADivisorFixedOnceAndOnlyGrows) {
  start_copy(1350 * 100);
  tick();
  ack(0, 3, 500, 10'000);  // divisor 10
  tick();
  EXPECT_EQ(hooks.position, 50);
  ack(0, 8, 900, 50'000);  // a larger total does not change the divisor
  tick();
  EXPECT_EQ(hooks.position, 90);
  nak(0, 9);  // reports 0 done: the position does not go back
  EXPECT_EQ(stats.progress_done, 900u);
}

TEST_F(CopyEngineTest, AfterAReadErrorTheBufferIsReadAgainBeforeItIsSent) {
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  // The file loses its tail: block 19 was read ahead already, block 20 cannot be read.
  ASSERT_EQ(::truncate(dir.file("lab.krn").c_str(), 1350 * 19 + 10), 0);
  ack(0, 18);
  EXPECT_EQ(numbers(tick()), std::vector<std::int32_t>{19}) << "the read error ends the burst";
  EXPECT_TRUE(tick().empty()) << "block 20 still cannot be read";
  test::write_pattern_file(dir.file("lab.krn"), 1350 * 100);
  const auto blocks = tick();
  ASSERT_EQ(numbers(blocks), range(20, 37));
  for (const auto& b : blocks) EXPECT_TRUE(carries_file_bytes(b)) << "block " << b.block;
}

TEST_F(CopyEngineTest, ARepeatedReadyAfterEngineStartIsIgnored) {
  start_copy(1350 * 100);
  EXPECT_EQ(numbers(tick()), range(0, 18));
  ack(0, 5);
  ready(0);
  EXPECT_EQ(engine.next_block(), 19);
  const auto blocks = tick();
  ASSERT_EQ(numbers(blocks), range(19, 24));
  for (const auto& b : blocks) EXPECT_TRUE(carries_file_bytes(b)) << "block " << b.block;
  EXPECT_EQ(engine.highest_acknowledged(), 5);
}

TEST_F(CopyEngineTest, ClearingTheDialogStopsEveryReportToIt) {
  start_copy(1350 * 100);
  tick();
  engine.attach_dialog(nullptr);
  ack(0, 3, 500, 1000);
  tick();
  EXPECT_EQ(hooks.position, 0) << "the position reached no dialog";
  done(0);
  EXPECT_EQ(hooks.cancels, 0);
}

TEST_F(CopyEngineTest, TheWorkerTicksUnderTheWorkerSemaphoreAndStopsTheEngine) {
  start_copy(1350 * 100);
  CopyWorker worker(engine, locks.worker);
  worker.start();
  const auto blocks = sent_to(0);
  EXPECT_EQ(numbers(blocks), range(0, 18)) << "the worker ticked";
  EXPECT_EQ(locks.worker.count(), 0) << "held while the worker runs";
  worker.stop_and_join();
  EXPECT_EQ(engine.state(), CopyEngine::stopped);
  EXPECT_EQ(locks.worker.count(), 1);
  EXPECT_GT(worker.ticks(), 0u);

  ready(0);
  EXPECT_EQ(engine.state(), CopyEngine::stopped) << "after the engine stopped no answer restarts it";
}

}  // namespace
}  // namespace kestrelon
