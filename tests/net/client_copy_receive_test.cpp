// The Client's copy receive policy, driven block by block with a recording link:
// where the image ends, when it acknowledges, when it asks for a resend, when it
// says done, and how the fault plan changes that.
#include "copy_receive.h"

#include <gtest/gtest.h>

#include "image/image_layout.h"
#include "net/byte_order.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"

namespace kestrelon::client {
namespace {

const Ipv4Address kSelf(127, 0, 0, 5);
const Ipv4Address kController(127, 0, 0, 1);

struct RecordingLink : ClientLink {
  std::vector<Datagram> sent;
  FaultPlan plan;
  std::string name = "test";
  void send_to(const Datagram& d, Ipv4Address to) override {
    EXPECT_EQ(to, kController);
    sent.push_back(d);
  }
  Ipv4Address self() const override { return kSelf; }
  const std::string& who() const override { return name; }
  const FaultPlan& faults() const override { return plan; }
  void fault_exit() override { ADD_FAILURE() << "exit fault"; }

  std::vector<std::uint32_t> blocks_of(std::uint16_t opcode) const {
    std::vector<std::uint32_t> b;
    for (const auto& d : sent)
      if (wire::opcode_of(d) == opcode) b.push_back(read_be32(d, 8));
    return b;
  }
  int count(std::uint16_t opcode) const {
    int n = 0;
    for (const auto& d : sent) n += wire::opcode_of(d) == opcode;
    return n;
  }
  void clear() { sent.clear(); }
};

struct MemorySink : CopySink {
  std::vector<std::uint8_t> bytes;
  bool finished = false, abandoned = false, own_layout = false;
  int after_done_calls = 0;
  AfterCopyOrders orders;
  AfterCopyReport after_done(const AfterCopyOrders& o) override {
    ++after_done_calls;
    orders = o;
    return {{"after-work line"}, o.computer_name.empty() ? wire::NamingOutcome::not_asked : wire::NamingOutcome::named};
  }
  std::string err;
  bool consume(std::span<const std::uint8_t> b) override {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return true;
  }
  bool finish() override { return finished = true; }
  void abandon() override { abandoned = true; }
  const std::string& error() const override { return err; }
  bool needs_own_layout() const override { return own_layout; }
  std::string where() const override { return "memory"; }
};

// An image of exactly `length` bytes starting with this Client's header start.
std::vector<std::uint8_t> own_image(std::uint64_t length) {
  std::vector<std::uint8_t> b(length);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const auto patch = image::length_patch(length);
  std::copy(patch.begin(), patch.end(), b.begin());
  return b;
}

std::vector<std::uint8_t> data_datagram(const std::vector<std::uint8_t>& file, std::uint32_t block) {
  wire::CopyDataPacket p;
  const std::size_t at = std::size_t{block} * 1350;
  const std::size_t n = std::min<std::size_t>(1350, file.size() - at);
  std::copy_n(file.begin() + static_cast<long>(at), n, p.payload().begin());
  p.seal(block, static_cast<std::uint16_t>(n));
  return std::vector<std::uint8_t>(p.bytes().begin(), p.bytes().end());
}

class CopyReceiveTest : public ::testing::Test {
 protected:
  void make(std::uint64_t length, bool own = true) {
    file = own ? own_image(length) : std::vector<std::uint8_t>(length, 0x5A);
    start.data_group = wire::kDataGroup;
    start.data_port = wire::kDataPort;
    start.image_kib = static_cast<std::uint32_t>(length >> 10);
    start.file_name = "t.krn";
    auto owned = std::make_unique<MemorySink>();
    sink = owned.get();
    copy = std::make_unique<CopyReceive>(link, log, kController, start, std::move(owned));
    copy->begin(now);
  }
  void send(std::uint32_t block) { copy->on_data(data_datagram(file, block), now); }
  void burst(std::uint32_t first, std::uint32_t last) {
    for (std::uint32_t b = first; b <= last; ++b) send(b);
    copy->on_data_batch_end(now);
  }
  void wait(Tick ms) {
    for (Tick t = 0; t < ms; t += 5) {
      now += 5;
      copy->on_tick(now);
    }
  }
  RecordingLink link;
  ClientLog log{false};
  std::vector<std::uint8_t> file;
  CopyStart start;
  MemorySink* sink = nullptr;
  std::unique_ptr<CopyReceive> copy;
  Tick now = 5000;
};

TEST_F(CopyReceiveTest, ReadyThenExactEndOfAMultipleOf1350) {
  make(1350 * 40);
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 1);
  burst(0, 39);
  EXPECT_EQ(copy->image_length(), 1350u * 40);
  ASSERT_TRUE(sink->finished);
  EXPECT_EQ(sink->bytes, file);
  EXPECT_TRUE(copy->succeeded());
  ASSERT_EQ(link.count(wire::OP_COPY_DONE), 1);
  const auto done = wire::decode_copy_done(link.sent.back());
  EXPECT_EQ(done->client, kSelf);
  // DONE is repeated until the Controller aborts; then the copy ends.
  wait(600);
  EXPECT_GE(link.count(wire::OP_COPY_DONE), 2);
  EXPECT_FALSE(copy->finished());
  copy->on_data(wire::build_abort(), now);
  EXPECT_TRUE(copy->finished());
  EXPECT_TRUE(copy->succeeded());
  EXPECT_FALSE(sink->abandoned);
}

TEST_F(CopyReceiveTest, DoneIsRepeatedWhileTheControllerSendsAndEndsWhenItFallsSilent) {
  make(1350 * 40);
  burst(0, 39);
  ASSERT_TRUE(copy->succeeded());
  link.clear();
  // The Controller goes on sending (for other Clients, or because it did not hear
  // us): the copy is not over, and done is said again, less often after 5 s.
  for (int i = 0; i < 16; ++i) {
    wait(500);
    send(39);
  }
  EXPECT_FALSE(copy->finished());
  EXPECT_GE(link.count(wire::OP_COPY_DONE), 19 + 2) << "every 250 ms for 5 s, then every second";
  EXPECT_LE(link.count(wire::OP_COPY_DONE), 20 + 3);
  EXPECT_EQ(sink->after_done_calls, 0) << "the slow after-work waits for the Controller";
  // Silence: the Controller has taken our done (and its abort was lost).
  wait(2900);
  EXPECT_FALSE(copy->finished());
  wait(200);
  EXPECT_TRUE(copy->finished());
  EXPECT_TRUE(copy->succeeded());
  EXPECT_EQ(sink->after_done_calls, 1);
}

TEST_F(CopyReceiveTest, TheSameRequestIsAnsweredAgainOnlyBeforeAnyData) {
  make(1350 * 10);
  link.clear();
  EXPECT_TRUE(copy->answer_repeated_start(start, kController));
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 1);
  CopyStart other_disk = start;
  other_disk.disk = 1;
  EXPECT_FALSE(copy->answer_repeated_start(other_disk, kController)) << "another disk is another copy";
  EXPECT_FALSE(copy->answer_repeated_start(start, Ipv4Address(127, 0, 0, 2))) << "another Controller";
  send(0);
  EXPECT_FALSE(copy->answer_repeated_start(start, kController)) << "once data has come it is a new copy";
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 1);
  EXPECT_FALSE(sink->abandoned);
}

TEST_F(CopyReceiveTest, ImageOfOneShortBlock) {
  make(1300);
  burst(0, 0);
  EXPECT_TRUE(sink->finished);
  EXPECT_EQ(sink->bytes.size(), 1300u);
}

TEST_F(CopyReceiveTest, AcknowledgesUntilRankedThenOnlyWhenNamed) {
  make(1350 * 200 + 10);
  burst(0, 18);
  // Every few blocks, and the burst's last block.
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), (std::vector<std::uint32_t>{3, 7, 11, 15, 18}));
  const auto ack = wire::decode_copy_ack(link.sent.back());
  EXPECT_EQ(ack->client, kSelf);
  EXPECT_EQ(ack->done_kib, 19u * 1350 / 1024);
  EXPECT_EQ(ack->total_kib, (1350u * 200 + 10) / 1024);
  link.clear();
  burst(19, 60);
  // Three acknowledgements of 32 or more earn the rank; then silence.
  const auto acks = link.blocks_of(wire::OP_COPY_ACK);
  ASSERT_FALSE(acks.empty());
  EXPECT_EQ(std::count_if(acks.begin(), acks.end(), [](auto b) { return b >= 32; }), 3);
  EXPECT_LT(acks.back(), 45u);
  EXPECT_FALSE(copy->acknowledging());
  link.clear();
  burst(61, 70);
  EXPECT_TRUE(link.blocks_of(wire::OP_COPY_ACK).empty());
  // Named the acknowledging Client: acknowledges at once and from then on.
  copy->on_control(wire::OP_ACKER, wire::build_acker(), kController, now);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), std::vector<std::uint32_t>{70});
  burst(71, 80);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK).back(), 80u);
}

TEST_F(CopyReceiveTest, OnlyTheControllerRunningTheCopyCanNameItTheAcknowledgingClient) {
  make(1350 * 200 + 10);
  burst(0, 60);
  ASSERT_FALSE(copy->acknowledging());
  link.clear();
  // The recording link fails the test for anything sent elsewhere than kController.
  copy->on_control(wire::OP_ACKER, wire::build_acker(), Ipv4Address(127, 0, 0, 99), now);
  EXPECT_FALSE(copy->acknowledging());
  burst(61, 70);
  EXPECT_TRUE(link.sent.empty());
  copy->on_control(wire::OP_ACKER, wire::build_acker(), kController, now);
  EXPECT_TRUE(copy->acknowledging());
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), std::vector<std::uint32_t>{70});
}

TEST_F(CopyReceiveTest, GapAsksForTheLowestMissingBlockOncePerHoldOff) {
  make(1350 * 100);
  burst(0, 9);
  link.clear();
  // Block 10 lost; 11..18 arrive.
  burst(11, 18);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{10});
  EXPECT_EQ(copy->next_block(), 10u);
  // The resend: 10 fills the hole and the kept blocks follow at once.
  link.clear();
  now += 40;
  burst(10, 10);
  EXPECT_EQ(copy->next_block(), 19u);
  EXPECT_TRUE(link.blocks_of(wire::OP_COPY_NAK).empty());
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK).back(), 18u);
  // A second gap within the hold-off is not asked for at once ...
  burst(20, 22);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{19});
  send(24);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK).size(), 1u);
  // ... but once it has passed.
  now += 31;
  send(25);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), (std::vector<std::uint32_t>{19, 19}));
  EXPECT_EQ(sink->bytes, std::vector<std::uint8_t>(file.begin(), file.begin() + 19 * 1350));
}

TEST_F(CopyReceiveTest, ANewGapRightAfterAServedRequestIsAskedForAtOnce) {
  // With loss on the acknowledging Client, waiting out the hold-off for every
  // second lost block left the window full until the Controller's timeout.
  make(1350 * 100);
  burst(0, 9);
  link.clear();
  burst(11, 14);  // 10 lost
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{10});
  now += 12;      // the Controller waits "nt" and rewinds to 10
  burst(10, 10);
  EXPECT_EQ(copy->next_block(), 15u);
  send(16);       // 15 lost in the resent run, well inside the hold-off
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), (std::vector<std::uint32_t>{10, 15}));
  send(17);       // the same hole again: already asked for
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), (std::vector<std::uint32_t>{10, 15}));
}

TEST_F(CopyReceiveTest, LostTailIsAskedForWhenNothingArrives) {
  make(1350 * 10);
  burst(0, 7);  // 8 and 9 lost: the Controller sends nothing more by itself
  link.clear();
  wait(150);
  EXPECT_TRUE(link.blocks_of(wire::OP_COPY_NAK).empty());
  wait(100);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{8});
  wait(200);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), (std::vector<std::uint32_t>{8, 8}));
  burst(8, 9);
  EXPECT_TRUE(sink->finished);
}

TEST_F(CopyReceiveTest, AKnownGapIsAskedForEveryHoldOffWhenNothingMoreArrives) {
  // The Controller has sent everything: 10 and 20 were lost, later blocks came.
  make(1350 * 30);
  burst(0, 9);
  burst(11, 19);
  burst(21, 29);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{10});
  link.clear();
  wait(25);
  EXPECT_TRUE(link.blocks_of(wire::OP_COPY_NAK).empty()) << "within the hold-off";
  wait(10);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{10}) << "not the 200 ms of a lost tail";
  // 10 alone fills its hole; 20 is the next, known lost since 21..29 came.
  burst(10, 10);
  EXPECT_EQ(copy->next_block(), 20u);
  link.clear();
  wait(35);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), std::vector<std::uint32_t>{20});
  burst(20, 20);
  EXPECT_TRUE(sink->finished);
}

TEST_F(CopyReceiveTest, RankedClientAcknowledgesAfterALongStall) {
  make(1350 * 300);
  burst(0, 60);
  ASSERT_FALSE(copy->acknowledging());
  link.clear();
  wait(1900);
  EXPECT_TRUE(link.blocks_of(wire::OP_COPY_ACK).empty());
  wait(200);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), std::vector<std::uint32_t>{60});
  EXPECT_TRUE(copy->acknowledging());
}

TEST_F(CopyReceiveTest, DuplicatesAfterALostAcknowledgementAreAnswered) {
  make(1350 * 100);
  burst(0, 18);
  link.clear();
  now += 300;
  burst(15, 18);  // the Controller's window-full timeout resends what we have
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), std::vector<std::uint32_t>{18});
}

TEST_F(CopyReceiveTest, ReadyIsRepeatedOnlyUntilDataArrives) {
  make(1350 * 50);
  wait(2100);
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 3);
  burst(0, 0);
  wait(3000);
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 3);
}

TEST_F(CopyReceiveTest, ForeignFileEndsAtAShortBlock) {
  make(1350 * 5 + 7, false);
  burst(0, 5);
  EXPECT_TRUE(sink->finished);
  EXPECT_EQ(sink->bytes, file);
}

TEST_F(CopyReceiveTest, ForeignFileOfAMultipleOf1350EndsAfterTwoUnansweredRequests) {
  make(1350 * 8, false);
  burst(0, 7);
  EXPECT_FALSE(sink->finished);
  link.clear();
  wait(700);
  EXPECT_TRUE(sink->finished);
  EXPECT_EQ(sink->bytes, file);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_NAK), (std::vector<std::uint32_t>{8, 8}));
  EXPECT_EQ(link.count(wire::OP_COPY_DONE), 1);
}

TEST_F(CopyReceiveTest, RestoreRefusesAForeignFile) {
  make(1350 * 8, false);
  sink->own_layout = true;
  burst(0, 3);
  EXPECT_TRUE(copy->finished());
  EXPECT_FALSE(copy->succeeded());
  EXPECT_TRUE(sink->abandoned);
  EXPECT_EQ(link.count(wire::OP_COPY_DONE), 0);
}

TEST_F(CopyReceiveTest, AbortBeforeTheEndAbandons) {
  make(1350 * 50);
  burst(0, 10);
  copy->on_control(wire::OP_ABORT, wire::build_abort(), kController, now);
  EXPECT_TRUE(copy->finished());
  EXPECT_FALSE(copy->succeeded());
  EXPECT_TRUE(sink->abandoned);
}

TEST_F(CopyReceiveTest, FaultsNeverAckAndSilentAfterAndExtraReady) {
  link.plan.never_acknowledge = true;
  link.plan.extra_ready = 2;
  make(1350 * 50);
  EXPECT_EQ(link.count(wire::OP_COPY_READY), 3);
  burst(0, 49);
  EXPECT_EQ(link.count(wire::OP_COPY_ACK), 0);
  EXPECT_EQ(link.count(wire::OP_COPY_DONE), 1);

  link.plan = FaultPlan{};
  link.plan.silent_after_block = 5;
  link.clear();
  make(1350 * 50);
  burst(0, 10);
  wait(1000);
  EXPECT_EQ(link.blocks_of(wire::OP_COPY_ACK), std::vector<std::uint32_t>{3});
  EXPECT_EQ(link.count(wire::OP_COPY_NAK), 0);
  EXPECT_EQ(copy->next_block(), 6u);
}

TEST(ClientStoreSink, FileNamesStayInTheirFolder) {
  EXPECT_EQ(safe_file_name("lab.krn"), "lab.krn");
  EXPECT_EQ(safe_file_name("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(safe_file_name(".."), "image.krn");
  EXPECT_EQ(safe_file_name(""), "image.krn");
  EXPECT_EQ(safe_file_name("a\\b\nc"), "a_b_c");
}

}  // namespace
}  // namespace kestrelon::client

namespace kestrelon::client {
namespace {

std::vector<wire::CopyNameAnswer> name_answers(const RecordingLink& link) {
  std::vector<wire::CopyNameAnswer> answers;
  for (const auto& d : link.sent) {
    if (wire::opcode_of(d) != wire::OP_COPY_NAME) continue;
    const auto a = wire::decode_copy_name_answer(d);
    EXPECT_TRUE(a) << "the Client's answer reads back on the Controller's side";
    if (a) answers.push_back(*a);
  }
  return answers;
}

// A name is taken only from the copy's Controller, for this Client and the
// disk being written; a bad one is refused; after the after-work its lines go
// back three times, and only to a Controller that sent a name.
TEST_F(CopyReceiveTest, ComputerNameIsTakenAnsweredAndReportedAfterTheCopy) {
  make(1350 * 40);
  const auto name = [](Ipv4Address target, std::uint16_t disk, const char* computer_name) {
    const auto d = wire::build_copy_name({target, disk, computer_name});
    return std::vector<std::uint8_t>(d.begin(), d.end());
  };
  copy->on_control(wire::OP_COPY_NAME, name(kSelf, 0, "PC-1"), Ipv4Address(127, 0, 0, 9), now);
  copy->on_control(wire::OP_COPY_NAME, name(Ipv4Address(127, 0, 0, 6), 0, "PC-2"), kController, now);
  copy->on_control(wire::OP_COPY_NAME, name(kSelf, 1, "PC-3"), kController, now);
  EXPECT_TRUE(name_answers(link).empty()) << "another host's name, another Client's, another disk's";

  copy->on_control(wire::OP_COPY_NAME, name(kSelf, 0, "ROOM 12"), kController, now);
  auto answers = name_answers(link);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].answer, wire::NameAnswer::refused);
  EXPECT_NE(answers[0].text.find("letters A-Z, digits and hyphens"), std::string::npos) << answers[0].text;

  copy->on_control(wire::OP_COPY_NAME, name(kSelf, 0, "ROOM12-PC04"), kController, now);
  copy->on_control(wire::OP_COPY_NAME, name(kSelf, 0, "ROOM12-PC04"), kController, now);  // a repeat
  answers = name_answers(link);
  ASSERT_EQ(answers.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(answers[i].answer, wire::NameAnswer::taken);
    EXPECT_EQ(answers[i].client, kSelf);
    EXPECT_EQ(answers[i].computer_name, "ROOM12-PC04");
  }
  burst(0, 39);
  ASSERT_TRUE(copy->succeeded());
  EXPECT_EQ(sink->after_done_calls, 0);
  copy->on_data(wire::build_abort(), now);
  ASSERT_EQ(sink->after_done_calls, 1);
  EXPECT_EQ(sink->orders.computer_name, "ROOM12-PC04");
  answers = name_answers(link);
  ASSERT_EQ(answers.size(), 6u) << "the report goes three times";
  for (std::size_t i = 3; i < 6; ++i) {
    EXPECT_EQ(answers[i].answer, wire::NameAnswer::report);
    EXPECT_EQ(answers[i].outcome, wire::NamingOutcome::named);
    EXPECT_EQ(answers[i].text, "after-work line");
  }
}

TEST_F(CopyReceiveTest, NoReportGoesToAControllerThatSentNoName) {
  make(1350 * 10);
  burst(0, 9);
  copy->on_data(wire::build_abort(), now);
  ASSERT_EQ(sink->after_done_calls, 1);
  EXPECT_EQ(sink->orders.computer_name, "");
  EXPECT_EQ(link.count(wire::OP_COPY_NAME), 0) << "a Controller that does not know the opcode gets none";
}

}  // namespace
}  // namespace kestrelon::client
