// Answers on request over real UDP: a scripted peer takes the receive engine's
// offer and sends blocks with the 8-byte tail (built here by hand, apart from the
// Client's encoder), and the engine answers only where the tail asks, or at the
// first refusal after a taken block, each answer naming the packet's send number.
// A plain packet in the same upload is answered as before, and an engine that
// does not offer answers every tail packet the plain way.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "net/wire_format.h"
#include "support/controller_parts.h"
#include "support/datagrams.h"
#include "support/private_network.h"
#include "support/recording_receiving_dialog.h"
#include "support/udp_peer.h"
#include "support/upload_records.h"
#include "transfer/receive_engine.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 51);

std::uint32_t be32(const Bytes& d, std::size_t at) {
  return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

struct Answer {
  std::uint16_t opcode = 0;
  std::uint32_t block = 0;
  std::size_t length = 0;
  std::uint32_t send_number = 0;  // when the answer is 20 bytes long
};

class ReceiveEngineAnswers : public ::testing::Test, protected test::ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    dispatcher.set_create_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController}}; }));
    client = std::make_unique<test::UdpPeer>(kClient, wire::kControlPort);
    ASSERT_TRUE(client->ok());
    path = ::testing::TempDir() + "kestrelon_answers_" + std::to_string(::getpid()) + ".krn";
    record.set_name("LABPC08");
    record.address = kClient;
    record.disk_count = 1;
    record.disks[0] = test::make_disk(1 << 20, 1, 1024);
  }
  void TearDown() override {
    endpoints.close_all();
    ::unlink(path.c_str());
  }
  // Starts a Create; the request the Client got.
  Bytes start() {
    BufferedFileWriter file;
    EXPECT_EQ(file.open(path), 0);
    engine.start({std::move(file), record, "", 0, false, &dialog});
    const auto request = client->receive(2000);
    EXPECT_TRUE(request);
    return request ? request->bytes : Bytes{};
  }
  // OP_CREATE_DATA with the tail: 9544, flags (1, plus 2 to ask), send number.
  void send_tail(std::uint32_t block, const Bytes& payload, bool ask, std::uint32_t send_number) {
    Bytes d = test::create_data_datagram(block, payload, 0, 0);
    d.resize(22 + payload.size());
    const Bytes tail = {0x25, 0x48, 0, static_cast<std::uint8_t>(ask ? 3 : 1),
                        static_cast<std::uint8_t>(send_number >> 24), static_cast<std::uint8_t>(send_number >> 16),
                        static_cast<std::uint8_t>(send_number >> 8), static_cast<std::uint8_t>(send_number)};
    d.insert(d.end(), tail.begin(), tail.end());
    client->send(d, kController, wire::kControlPort);
  }
  void send_plain(std::uint32_t block, const Bytes& payload) {
    client->send(test::create_data_datagram(block, payload, 0, 0), kController, wire::kControlPort);
  }
  // Every answer that arrives within the quiet time.
  std::vector<Answer> answers(int quiet_ms = 150) {
    std::vector<Answer> out;
    for (const auto& r : client->receive_all(quiet_ms)) {
      const Bytes& b = r.bytes;
      Answer a{static_cast<std::uint16_t>((b[6] << 8) | b[7]), be32(b, 8), b.size(), 0};
      if (b.size() == 20) a.send_number = be32(b, 12);
      EXPECT_EQ(b[b.size() - 4], 0x25) << "every answer ends with the trailer";
      EXPECT_EQ(b[b.size() - 3], 0x48);
      out.push_back(a);
    }
    return out;
  }

  ManualClock clock;
  ReceiveEngine engine{endpoints, stats, ui, clock, ReceiveTiming{7000, 100ms}};
  test::RecordingReceivingDialog dialog;
  std::unique_ptr<test::UdpPeer> client;
  ClientRecord record;
  std::string path;
};

TEST_F(ReceiveEngineAnswers, AClientThatTakesTheOfferIsAnsweredOnlyWhereItAsksOrWhereABlockWasLost) {
  const Bytes request = start();
  ASSERT_EQ(request.size(), wire::kCreateRequestLength);
  EXPECT_EQ((request[12] << 8) | request[13], 1) << "the offer";

  const Bytes r0 = test::data_record(Bytes(300, 1)), r1 = test::data_record(Bytes(300, 2)),
              r2 = test::data_record(Bytes(300, 3)), r3 = test::data_record(Bytes(300, 4));
  send_tail(0, r0, true, 100);
  send_tail(1, r1, false, 101);
  std::vector<Answer> got = answers();
  ASSERT_EQ(got.size(), 1u) << "only the block that asked";
  EXPECT_EQ(got[0].opcode, wire::OP_CREATE_ACK);
  EXPECT_EQ(got[0].block, 0u);
  EXPECT_EQ(got[0].length, 20u);
  EXPECT_EQ(got[0].send_number, 100u);

  // Block 2 is lost: the first refusal is answered at once, the next ones only
  // where they ask.
  send_tail(3, r3, false, 102);
  send_tail(4, r3, false, 103);
  send_tail(5, r3, true, 104);
  got = answers();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].opcode, wire::OP_CREATE_NAK);
  EXPECT_EQ(got[0].block, 2u);
  EXPECT_EQ(got[0].send_number, 102u);
  EXPECT_EQ(got[1].opcode, wire::OP_CREATE_NAK);
  EXPECT_EQ(got[1].send_number, 104u);

  // Sent again: taken; a refusal after it is again the first one.
  send_tail(2, r2, false, 105);
  send_tail(4, r3, false, 106);
  send_tail(3, r3, true, 107);
  got = answers();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].opcode, wire::OP_CREATE_NAK);
  EXPECT_EQ(got[0].block, 3u);
  EXPECT_EQ(got[0].send_number, 106u);
  EXPECT_EQ(got[1].opcode, wire::OP_CREATE_ACK);
  EXPECT_EQ(got[1].block, 3u);
  EXPECT_EQ(got[1].send_number, 107u);

  // A plain packet in the same upload is answered the plain way.
  send_plain(3, r3);
  got = answers();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].length, wire::kCreateAckLength);
  EXPECT_EQ(got[0].block, 3u);

  // The end asks but gets no answer until the upload is closed; then every
  // repeat is answered, asked or not.
  send_tail(4, test::end_record(), true, 108);
  for (int i = 0; i < 200 && engine.state() != ReceiveEngine::kEndSeen; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(engine.state(), ReceiveEngine::kEndSeen);
  EXPECT_TRUE(answers(100).empty());
  engine.supervise();
  send_tail(4, test::end_record(), false, 109);
  got = answers();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].opcode, wire::OP_CREATE_ACK);
  EXPECT_EQ(got[0].block, 4u);
  EXPECT_EQ(got[0].send_number, 109u);
  EXPECT_EQ(engine.packets_with_tail(), 9u) << "the end is counted once the upload is closed";
  EXPECT_EQ(engine.answers_to_tails(), 6u);
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);

  std::ifstream in(path, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(file, test::join({Bytes(300, 1), Bytes(300, 2), Bytes(300, 3), Bytes(300, 4)}));
}

TEST_F(ReceiveEngineAnswers, AnEngineThatDoesNotOfferAnswersEveryPacketThePlainWay) {
  engine.set_answers_offered(false);
  const Bytes request = start();
  ASSERT_EQ(request.size(), wire::kCreateRequestLength);
  EXPECT_EQ((request[12] << 8) | request[13], 0) << "no offer: the request is the plain one";
  send_tail(0, test::data_record(Bytes(10, 1)), false, 7);
  send_tail(2, test::data_record(Bytes(10, 2)), false, 8);
  send_tail(3, test::data_record(Bytes(10, 2)), false, 9);
  const std::vector<Answer> got = answers();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].opcode, wire::OP_CREATE_ACK);
  EXPECT_EQ(got[1].opcode, wire::OP_CREATE_NAK);
  EXPECT_EQ(got[2].opcode, wire::OP_CREATE_NAK);
  for (const Answer& a : got) EXPECT_EQ(a.length, 16u);
  EXPECT_EQ(engine.packets_with_tail(), 0u);
  engine.finish(ReceivingDialog::End::cancel);
}

}  // namespace
}  // namespace kestrelon
