// Dispatch by opcode, gating on the copy's running flag, and the messages for
// foreign and unknown datagrams.
#include "net/receive_dispatcher.h"

#include <gtest/gtest.h>

#include "support/datagrams.h"
#include "support/recording_ui.h"

namespace kestrelon {
namespace {

using Outcome = ReceiveDispatcher::Outcome;

struct Recorder : AnnounceHandler, CopyPacketHandler, CreateDataHandler, CopyNameHandler {
  bool running = false;
  std::vector<std::string> calls;
  Semaphore* lock_to_check = nullptr;
  bool lock_was_held = true;

  void note(std::string what) {
    if (lock_to_check && lock_to_check->count() != 0) lock_was_held = false;
    calls.push_back(std::move(what));
  }
  void on_announce(const wire::Announce& a, int e, Ipv4Address) override { note("announce " + a.name_text() + " " + std::to_string(e)); }
  bool copy_running() const override { return running; }
  void on_copy_ack(const wire::CopyAck& a, int, Ipv4Address) override { note("ack " + std::to_string(a.block)); }
  void on_copy_nak(const wire::CopyNak& n, int, Ipv4Address from) override {
    note("nak " + std::to_string(n.block) + " " + from.text());
  }
  void on_copy_done(const wire::CopyDone& d, int, Ipv4Address) override { note("done " + d.client.text()); }
  void on_copy_ready(Ipv4Address from, int e) override { note("ready " + from.text() + " " + std::to_string(e)); }
  void on_create_data(const wire::CreateData& c, Ipv4Address from, int) override {
    note("data " + std::to_string(c.block) + " " + from.text());
  }
  void on_copy_name_answer(const wire::CopyNameAnswer& a, Ipv4Address from) override {
    note("name " + a.computer_name + " " + std::to_string(static_cast<int>(a.answer)) + " " + a.text + " " +
         from.text());
  }
};

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() : board(ui), dispatcher(lock, board) {
    dispatcher.set_announce_handler(&rec);
    dispatcher.set_copy_handler(&rec);
    dispatcher.set_create_handler(&rec);
    dispatcher.set_copy_name_handler(&rec);
    rec.lock_to_check = &lock;
  }
  Outcome send(const std::vector<std::uint8_t>& d, int endpoint = 0, Ipv4Address from = Ipv4Address(10, 0, 0, 9)) {
    return dispatcher.dispatch(d, endpoint, from);
  }

  test::RecordingUi ui;
  Semaphore lock;
  NoticeBoard board;
  ReceiveDispatcher dispatcher;
  Recorder rec;
};

TEST_F(DispatcherTest, HandsEachOpcodeToItsHandlerUnderTheReceiveLock) {
  test::AnnounceSpec s;
  s.name = "PC1";
  rec.running = true;
  EXPECT_EQ(send(test::announce_datagram(s), 1), Outcome::handled);
  EXPECT_EQ(send(test::copy_ack_datagram(40, Ipv4Address(1, 1, 1, 1), 0, 0)), Outcome::handled);
  EXPECT_EQ(send(test::copy_nak_datagram(7, 0, 0), 0, Ipv4Address(10, 0, 0, 9)), Outcome::handled);
  EXPECT_EQ(send(test::copy_done_datagram(Ipv4Address(1, 1, 1, 2))), Outcome::handled);
  EXPECT_EQ(send(test::copy_ready_datagram(), 2, Ipv4Address(10, 0, 0, 7)), Outcome::handled);
  EXPECT_EQ(send(test::create_data_datagram(5, {1, 2}, 0, 0)), Outcome::handled);
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"announce PC1 1", "ack 40", "nak 7 10.0.0.9", "done 1.1.1.2", "ready 10.0.0.7 2",
                                                  "data 5 10.0.0.9"}));
  EXPECT_TRUE(rec.lock_was_held);
  EXPECT_EQ(lock.count(), 1) << "the receive lock is free again";
}

TEST_F(DispatcherTest, ResendRequestsAndCompletionsWaitForARunningCopy) {
  rec.running = false;
  EXPECT_EQ(send(test::copy_nak_datagram(7, 0, 0)), Outcome::gated);
  EXPECT_EQ(send(test::copy_done_datagram(Ipv4Address(1, 1, 1, 2))), Outcome::gated);
  EXPECT_EQ(send(test::copy_ack_datagram(3, Ipv4Address(1, 1, 1, 1), 0, 0)), Outcome::handled);
  EXPECT_EQ(send(test::copy_ready_datagram()), Outcome::handled);
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"ack 3", "ready 10.0.0.9 0"}));
}

TEST_F(DispatcherTest, ControllerOpcodesAndNineAreIgnoredWithoutAMessage) {
  for (std::uint16_t op : {0, 1, 2, 7, 9}) {
    EXPECT_EQ(send(test::client_header(op)), Outcome::ignored) << op;
  }
  ui.run_posted();
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_TRUE(rec.calls.empty());
}

// Opcode 12 is the Clients' answer to a computer name: decoded, never a message.
TEST_F(DispatcherTest, ComputerNameAnswersGoToTheirHandler) {
  std::vector<std::uint8_t> d = test::client_header(wire::OP_COPY_NAME);
  d.resize(wire::kNameAnswerTextOffset);
  d[13] = 3;  // a report
  d[15] = 1;  // named
  const std::string name = "PC-04", text = "written";
  std::copy(name.begin(), name.end(), d.begin() + wire::kComputerNameOffset);
  d[81] = static_cast<std::uint8_t>(text.size());
  d.insert(d.end(), text.begin(), text.end());
  EXPECT_EQ(send(d), Outcome::handled);
  d[81] = 200;  // a text longer than the datagram
  EXPECT_EQ(send(d), Outcome::malformed);
  EXPECT_EQ(send(test::client_header(wire::OP_COPY_NAME)), Outcome::malformed);
  ui.run_posted();
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(rec.calls, (std::vector<std::string>{"name PC-04 3 written 10.0.0.9"}));
}

TEST_F(DispatcherTest, UnknownOpcodesPostTheirMessage) {
  EXPECT_EQ(send(test::client_header(17, 8)), Outcome::unknown_opcode);
  ui.run_posted();
  for (std::uint16_t op : {10, 11, 13, 14, 15, 16, 20, 21, 300}) {
    EXPECT_EQ(send(test::client_header(op, 8)), Outcome::unknown_opcode) << op;
  }
  ui.run_posted();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{
                               "Received unknown opcode (17) packet version (8)\n",
                               "Received unknown opcode (10) packet version (8)\n\n(9 such datagrams received)"}));
}

TEST_F(DispatcherTest, AFloodOfChangingUnknownDatagramsQueuesOneNoticePerKind) {
  for (std::uint16_t version = 0; version < 2000; ++version) {
    send(test::client_header(static_cast<std::uint16_t>(20 + version % 7), version));
    std::vector<std::uint8_t> foreign = {0x47, static_cast<std::uint8_t>(version)};
    send(foreign);
  }
  EXPECT_EQ(board.outstanding(), 2u) << "one wrong-cookie and one unknown-opcode notice";
  EXPECT_EQ(ui.posted_count(), 2u);
  EXPECT_EQ(dispatcher.count(Outcome::unknown_opcode), 2000u);
  EXPECT_EQ(dispatcher.count(Outcome::bad_magic), 2000u);
}

TEST_F(DispatcherTest, ForeignDatagramPostsMagicCookieMessageAndReceptionGoesOn) {
  const std::vector<std::uint8_t> foreign = {'H', 'T', 'T', 'P', '/', '1', '.', '1'};
  EXPECT_EQ(send(foreign), Outcome::bad_magic);
  EXPECT_EQ(send({0x25}), Outcome::bad_magic) << "one byte cannot hold the cookie";
  test::AnnounceSpec s;
  s.name = "after";
  EXPECT_EQ(send(test::announce_datagram(s)), Outcome::handled);
  EXPECT_EQ(ui.posted_count(), 1u) << "the second foreign datagram was folded into the first box";
  ui.run_posted();
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0].rfind("Magic cookie is wrong", 0), 0u);
}

TEST_F(DispatcherTest, TruncatedDatagramsAreDroppedSilently) {
  auto ack = test::copy_ack_datagram(3, Ipv4Address(1, 1, 1, 1), 0, 0);
  ack.resize(20);
  EXPECT_EQ(send(ack), Outcome::malformed);
  EXPECT_EQ(send({0x25, 0x48, 0, 8}), Outcome::malformed);
  auto data = test::create_data_datagram(0, std::vector<std::uint8_t>(100, 1), 0, 0);
  data.resize(60);
  EXPECT_EQ(send(data), Outcome::malformed);
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_EQ(ui.posted_count(), 0u);
}

TEST_F(DispatcherTest, EmptyDatagramIsDroppedWithoutAMessageAndFreesTheLock) {
  EXPECT_EQ(send({}), Outcome::empty);
  EXPECT_EQ(lock.count(), 1);
  EXPECT_EQ(dispatcher.count(Outcome::empty), 1u);
  EXPECT_EQ(ui.posted_count(), 0u);
  EXPECT_TRUE(rec.calls.empty());
}

TEST_F(DispatcherTest, WithoutHandlersValidPacketsAreIgnored) {
  ReceiveDispatcher bare(lock, board);
  EXPECT_EQ(bare.dispatch(test::copy_ready_datagram(), 0), Outcome::ignored);
  EXPECT_EQ(bare.dispatch(test::create_data_datagram(0, {}, 0, 0), 0), Outcome::ignored);
}

}  // namespace
}  // namespace kestrelon
