// The receive engine over real UDP: a scripted peer plays the uploading Client,
// sending OP_CREATE_DATA to the Controller's endpoints and reading the answers.
#include "transfer/receive_engine.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "net/wire_format.h"
#include "support/controller_parts.h"
#include "support/datagrams.h"
#include "support/private_network.h"
#include "support/recording_receiving_dialog.h"
#include "support/recording_ui.h"
#include "support/udp_peer.h"
#include "support/upload_records.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kController2(127, 0, 0, 2);
const Ipv4Address kClient(127, 0, 0, 50);
const Ipv4Address kStranger(127, 0, 0, 60);

constexpr ReceiveTiming kTiming{7000, 100ms};

std::uint16_t opcode_of(const Bytes& d) { return static_cast<std::uint16_t>(d.size() >= 8 ? (d[6] << 8) | d[7] : 0xFFFF); }
std::uint32_t word_at(const Bytes& d, std::size_t at) {
  return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
bool file_exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

ssize_t io_error_write(int, const void*, std::size_t, off_t) {
  errno = EIO;
  return -1;
}

class ReceiveEngineTest : public ::testing::Test, protected test::ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    dispatcher.set_create_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController, kController2}}; }));
    ASSERT_EQ(endpoints.open_count(), 2);
    client = std::make_unique<test::UdpPeer>(kClient, wire::kControlPort);
    ASSERT_TRUE(client->ok());
    path = ::testing::TempDir() + "kestrelon_create_" + std::to_string(::getpid()) + ".krn";
    record.set_name("LABPC07");
    record.address = kClient;
    record.interface_index = 0;
    record.disk_count = 2;
    record.disks[0] = test::make_disk(1 << 20, 1, 1024);
    record.disks[1] = test::make_disk(1 << 22, 3, 4096);  // 3 x 4096 sectors = 6 MiB
    record.selected_disk = 1;
  }
  void TearDown() override {
    endpoints.close_all();
    ::unlink(path.c_str());
  }

  // Starts a Create into `path` and returns the OP_CREATE_REQUEST the Client got.
  test::Received start(int slider = 9, std::string description = "", bool sector_by_sector = false,
                       BufferedFileWriter file = BufferedFileWriter()) {
    if (!file.is_open()) {
      EXPECT_EQ(file.open(path), 0);
    }
    engine.start({std::move(file), record, std::move(description), slider, sector_by_sector, &dialog});
    auto request = client->receive(2000);
    EXPECT_TRUE(request);
    return request ? *request : test::Received{};
  }
  void send(std::uint32_t block, const Bytes& payload, std::uint32_t done = 0, std::uint32_t total = 0,
            Ipv4Address to = kController) {
    client->send(test::create_data_datagram(block, payload, done, total), to, wire::kControlPort);
  }
  std::optional<test::Received> answer(int timeout_ms = 2000) { return client->receive(timeout_ms); }
  // Sends a block and requires the acknowledgement for it.
  void send_acked(std::uint32_t block, const Bytes& payload, std::uint32_t done = 0, std::uint32_t total = 0) {
    send(block, payload, done, total);
    const auto a = answer();
    ASSERT_TRUE(a) << "no answer to block " << block;
    ASSERT_EQ(opcode_of(a->bytes), wire::OP_CREATE_ACK) << "block " << block;
    ASSERT_EQ(word_at(a->bytes, 8), block);
  }
  // Sends the packet that completes the end record (it gets no answer) and waits
  // until the receive thread has taken it.
  void send_end(std::uint32_t block, const Bytes& payload) {
    send(block, payload);
    for (int i = 0; i < 200 && engine.state() != ReceiveEngine::kEndSeen; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(engine.state(), ReceiveEngine::kEndSeen);
  }
  // Sends the stream in packets of at most `packet` bytes, every one acknowledged
  // except the one that completes the end record.
  void upload(const Bytes& stream, std::size_t packet = 1000) {
    std::uint32_t block = 0;
    for (std::size_t at = 0; at < stream.size(); at += packet, ++block) {
      const Bytes part(stream.begin() + static_cast<long>(at),
                       stream.begin() + static_cast<long>(std::min(stream.size(), at + packet)));
      if (at + packet >= stream.size()) {
        send_end(block, part);
        EXPECT_FALSE(answer(100)) << "the packet that completes the end record gets no answer";
        last_block = block;
        last_packet = part;
      } else {
        send_acked(block, part);
      }
    }
  }
  std::vector<test::Received> aborts_received() {
    std::vector<test::Received> aborts;
    for (auto& r : client->receive_all(150))
      if (opcode_of(r.bytes) == wire::OP_ABORT) aborts.push_back(std::move(r));
    return aborts;
  }

  ManualClock clock;
  ReceiveEngine engine{endpoints, stats, ui, clock, kTiming};
  test::RecordingReceivingDialog dialog;
  std::unique_ptr<test::UdpPeer> client;
  ClientRecord record;
  std::string path;
  std::uint32_t last_block = 0;
  Bytes last_packet;
};

TEST_F(ReceiveEngineTest, RequestCarriesTheMappedLevelTheSelectedDiskAndTheFlagsThroughTheClientsInterface) {
  const std::uint16_t expected_level[10] = {0, 1, 5, 5, 5, 5, 9, 9, 9, 9};
  for (int slider = 0; slider <= 9; ++slider) {
    const Bytes r = start(slider, "", slider == 4).bytes;
    ASSERT_EQ(r.size(), wire::kCreateRequestLength);
    EXPECT_EQ(opcode_of(r), wire::OP_CREATE_REQUEST);
    EXPECT_EQ((r[8] << 8) | r[9], expected_level[slider]) << "slider " << slider;
    EXPECT_EQ((r[10] << 8) | r[11], 1) << "the selected disk";
    EXPECT_EQ((r[18] << 8) | r[19], slider == 4 ? 4 : 0) << "sector-by-sector flag";
    EXPECT_EQ(engine.state(), ReceiveEngine::kReceiving);
    EXPECT_EQ(engine.compressed(), slider != 0);
    engine.finish(ReceivingDialog::End::cancel);
    aborts_received();
  }
  record.interface_index = 1;
  EXPECT_EQ(start().from, kController2) << "the request leaves by the interface the Client was heard on";
  engine.finish(ReceivingDialog::End::cancel);
  const auto aborts = aborts_received();
  ASSERT_EQ(aborts.size(), 3u);
  EXPECT_EQ(aborts[0].from, kController2);
}

TEST_F(ReceiveEngineTest, WholeUploadIsKeptWithTheDescriptionAndTheLastPacketIsAnsweredAfterTheEnd) {
  start(9, "Room 12, teacher's PC");
  Bytes header(7344, 0);
  header[5513] = 2;  // the Client's header: partition count and so on
  const Bytes body = test::counting(5000, 3);
  clock.advance(1234);
  upload(test::join({test::data_record(header), test::data_record(body), test::end_record()}));
  EXPECT_EQ(engine.state(), ReceiveEngine::kEndSeen);
  EXPECT_EQ(engine.upload_milliseconds(), 1234u);
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  ASSERT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::ok});

  send(last_block, last_packet);  // the Client repeats the end until it is answered
  const auto a = answer();
  ASSERT_TRUE(a);
  EXPECT_EQ(opcode_of(a->bytes), wire::OP_CREATE_ACK);
  EXPECT_EQ(word_at(a->bytes, 8), last_block);

  EXPECT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  EXPECT_EQ(engine.state(), ReceiveEngine::kIdle);
  EXPECT_TRUE(aborts_received().empty());
  Bytes expected = header;
  const std::string text = "Room 12, teacher's PC";
  std::copy(text.begin(), text.end(), expected.begin() + 256);
  expected.insert(expected.end(), body.begin(), body.end());
  EXPECT_EQ(read_file(path), expected);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(stats.acknowledgements.load(), static_cast<int>(last_block)) << "the end packet is answered only after the end, uncounted";
  EXPECT_EQ(stats.retries.load(), 0);
}

TEST_F(ReceiveEngineTest, RepeatOfTheLastAcceptedBlockIsAcknowledgedAgainAndChangesNothing) {
  start();
  send_acked(0, test::data_record(Bytes(100, 1)));
  send_acked(1, test::data_record(Bytes(100, 2)));
  send_acked(1, test::data_record(Bytes(100, 9)));  // its acknowledgement was lost: sent again
  send_acked(2, test::data_record(Bytes(100, 3)));
  EXPECT_EQ(stats.acknowledgements.load(), 4);
  EXPECT_EQ(engine.expected_block(), 3u);
  send_end(3, test::end_record());
  engine.supervise();
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  EXPECT_EQ(read_file(path), test::join({Bytes(100, 1), Bytes(100, 2), Bytes(100, 3)}));
}

TEST_F(ReceiveEngineTest, EarlierAndLaterBlocksAreRefusedWithTheExpectedNumber) {
  start();
  for (std::uint32_t b = 0; b < 3; ++b) send_acked(b, test::data_record(Bytes(10, 1)));
  send(0, test::data_record(Bytes(10, 7)));  // block 0 again, long after it was taken
  auto a = answer();
  ASSERT_TRUE(a);
  EXPECT_EQ(opcode_of(a->bytes), wire::OP_CREATE_NAK);
  EXPECT_EQ(a->bytes.size(), wire::kCreateNakLength);
  EXPECT_EQ(word_at(a->bytes, 8), 3u);
  send(5, test::data_record(Bytes(10, 7)));  // ahead of the expected block
  a = answer();
  ASSERT_TRUE(a);
  EXPECT_EQ(opcode_of(a->bytes), wire::OP_CREATE_NAK);
  EXPECT_EQ(word_at(a->bytes, 8), 3u);
  EXPECT_EQ(stats.retries.load(), 2);
  EXPECT_EQ(engine.expected_block(), 3u);
}

TEST_F(ReceiveEngineTest, DataRecordSplitOverTwoPacketsIsWrittenOnlyWhenComplete) {
  start();
  const Bytes record_bytes = test::data_record(test::counting(3000));
  // Progress moves only when a data record has been written, so the dialog shows
  // when that happened. A total of 6000 KiB fixes the divisor at 6.
  send_acked(0, Bytes(record_bytes.begin(), record_bytes.begin() + 1500), 600, 6000);
  EXPECT_TRUE(dialog.positions().empty()) << "half a record was written";
  EXPECT_TRUE(dialog.ranges().empty());
  send_acked(1, Bytes(record_bytes.begin() + 1500, record_bytes.end()), 1200, 6000);
  EXPECT_EQ(dialog.ranges(), (std::vector<std::pair<int, int>>{{0, 1000}}));
  EXPECT_EQ(dialog.positions(), (std::vector<std::int32_t>{0, 200}));
  send_acked(2, test::data_record(Bytes(10, 0)), 1800, 6000);
  EXPECT_EQ(dialog.ranges().size(), 1u) << "the range is set once per Create";
  EXPECT_EQ(dialog.positions().back(), 300);
  send_end(3, test::end_record());
  engine.supervise();
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  EXPECT_EQ(read_file(path), test::join({test::counting(3000), Bytes(10, 0)}));
}

TEST_F(ReceiveEngineTest, TwoRecordsInOnePacketAreBothWrittenInOrderAndBytesAfterTheEndAreDropped) {
  start();
  upload(test::join({test::data_record(Bytes(40, 0xAA)), test::data_record(Bytes(30, 0xBB)), test::end_record(),
                     test::data_record(Bytes(50, 0xCC))}),
         5000);
  engine.supervise();
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  EXPECT_EQ(read_file(path), test::join({Bytes(40, 0xAA), Bytes(30, 0xBB)}));
}

TEST_F(ReceiveEngineTest, SwapMarkLinkPatchLandsAtTheMarkAndWritingContinuesWhereTheSwapWasMade) {
  start();
  // A stray late copy of block 0 arrives between the swap mark and the record it
  // arms the patch for; it must not cancel the patch.
  send_acked(0, test::join({test::data_record(test::counting(16)), test::mark_record(),
                            test::data_record(Bytes(8, 0xEE)), test::data_record(test::counting(100, 50)),
                            test::swap_mark_record()}));
  send(0, test::data_record(Bytes(5, 5)));
  ASSERT_TRUE(answer());
  send_acked(1, test::join({test::data_record(Bytes{0xF0, 0xF1, 0xF2, 0xF3, 0, 0, 0, 0}), test::seek_mark_record(),
                            test::data_record(Bytes{0xAB})}));
  send_end(2, test::end_record());
  engine.supervise();
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  Bytes expected = test::counting(16);
  expected.insert(expected.end(), {0xF0, 0xF1, 0xF2, 0xF3, 124, 0, 0, 0});
  const Bytes middle = test::counting(100, 50);
  expected.insert(expected.end(), middle.begin(), middle.end());
  expected.push_back(0xAB);
  EXPECT_EQ(read_file(path), expected);
}

TEST_F(ReceiveEngineTest, AnswersLeaveByTheInterfaceTheDataArrivedOnAndGoToTheUploadingClient) {
  start();
  send(0, test::data_record(Bytes(10, 1)), 0, 0, kController2);
  auto a = answer();
  ASSERT_TRUE(a);
  EXPECT_EQ(opcode_of(a->bytes), wire::OP_CREATE_ACK);
  EXPECT_EQ(a->from, kController2);

  test::UdpPeer stranger(kStranger, wire::kControlPort);
  ASSERT_TRUE(stranger.ok());
  stranger.send(test::create_data_datagram(7, test::data_record(Bytes(1, 1)), 0, 0), kController,
                wire::kControlPort);
  EXPECT_FALSE(answer(300)) << "another host's data is not answered to the uploading Client";
  EXPECT_FALSE(stranger.receive(100)) << "nor to the host that sent it";
  EXPECT_EQ(engine.foreign_packets(), 1u);
}

TEST_F(ReceiveEngineTest, DataFromAnotherAddressNeverReachesTheImage) {
  start();
  test::UdpPeer stranger(kStranger, wire::kControlPort);
  ASSERT_TRUE(stranger.ok());
  const auto forge = [&](std::uint32_t block) {
    stranger.send(test::create_data_datagram(block, test::data_record(Bytes(50, 0xEE)), 0, 0), kController,
                  wire::kControlPort);
  };
  forge(0);  // before the Client's first block
  send_acked(0, test::data_record(Bytes(100, 1)));
  forge(1);  // numbered as the current and the next block
  forge(2);
  send_acked(1, test::data_record(Bytes(100, 2)));
  send_end(2, test::end_record());
  engine.supervise();
  ASSERT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::completed);
  EXPECT_EQ(engine.foreign_packets(), 3u);
  Bytes written(100, 1);
  written.insert(written.end(), 100, 2);
  EXPECT_EQ(read_file(path), written) << "only the Client's own blocks were written";
  EXPECT_FALSE(stranger.receive(100)) << "the stranger heard nothing";
}

TEST_F(ReceiveEngineTest, DataFromAnotherAddressDoesNotKeepASilentCreateAlive) {
  start();
  send_acked(0, test::data_record(Bytes(100, 1)));
  test::UdpPeer stranger(kStranger, wire::kControlPort);
  ASSERT_TRUE(stranger.ok());
  clock.advance(kTiming.inactivity_ms);
  stranger.send(test::create_data_datagram(1, test::data_record(Bytes(50, 0xEE)), 0, 0), kController,
                wire::kControlPort);
  for (int i = 0; i < 200 && engine.foreign_packets() == 0; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(engine.foreign_packets(), 1u);
  clock.advance(1);
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::silent);
  EXPECT_FALSE(file_exists(path));
}

TEST_F(ReceiveEngineTest, BlocksWithoutImageBytesKeepTheCreateAliveOnlyWhileTheirReadProgressGrows) {
  start();
  send_acked(0, test::data_record(Bytes(100, 1)), 64, 1 << 20);
  // The Client's keep-alive while it reads a long empty stretch: an empty data
  // record whose read progress has grown. Each comes just before the deadline.
  std::uint32_t block = 1, done = 64;
  for (int i = 0; i < 3; ++i) {
    clock.advance(kTiming.inactivity_ms);
    done += 640;
    send_acked(block++, test::data_record({}), done, 1 << 20);
    clock.advance(1);
    engine.supervise();
    ASSERT_EQ(engine.state(), ReceiveEngine::kReceiving) << "keep-alive " << i;
  }
  // The same again, or records that carry nothing (marks), with no progress:
  // taken, but what a Client that no longer reads could send forever.
  clock.advance(kTiming.inactivity_ms - 1);
  send_acked(block++, test::data_record({}), done, 1 << 20);
  send_acked(block++, test::mark_record(), done - 1, 1 << 20);
  send_acked(block++, test::data_record({}), 0, 0);
  clock.advance(1);
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::silent);
}

TEST_F(ReceiveEngineTest, SilenceEndsTheCreateAndLeavesNoFile) {
  start();
  send_acked(0, test::data_record(Bytes(100, 1)));
  clock.advance(kTiming.inactivity_ms);
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kReceiving) << "the deadline passes only when strictly later";
  clock.advance(1);
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  EXPECT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::cancel});
  // Late packets are only acknowledged now.
  send_acked(1, test::data_record(Bytes(100, 2)));
  ASSERT_TRUE(file_exists(path));
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::silent);
  EXPECT_EQ(aborts_received().size(), 3u);
  EXPECT_FALSE(file_exists(path));
}

TEST_F(ReceiveEngineTest, CancelSendsAbortThreeTimesLeavesNoFileAndLaterDataIsDropped) {
  start();
  send_acked(0, test::data_record(Bytes(1000, 1)));
  send_acked(1, test::data_record(Bytes(1000, 1)));
  ASSERT_TRUE(file_exists(path));
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::cancelled);
  const auto aborts = aborts_received();
  ASSERT_EQ(aborts.size(), 3u);
  for (const auto& a : aborts) {
    EXPECT_EQ(a.bytes.size(), wire::kAbortLength);
    EXPECT_EQ(a.from, kController) << "through the Client's own interface";
  }
  EXPECT_FALSE(file_exists(path));
  EXPECT_EQ(engine.state(), ReceiveEngine::kIdle);
  send(2, test::data_record(Bytes(10, 1)));
  EXPECT_FALSE(answer(300));
}

TEST_F(ReceiveEngineTest, DialogEndedWithOkBeforeTheEndRecordKeepsNoTruncatedImage) {
  start();
  send_acked(0, test::data_record(Bytes(1000, 1)));
  EXPECT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::cancelled);
  EXPECT_EQ(aborts_received().size(), 3u);
  EXPECT_FALSE(file_exists(path));
}

TEST_F(ReceiveEngineTest, NegativeDataLengthStallsTheStreamUntilTheBufferIsFull) {
  start();
  send_acked(0, test::data_record_claiming(-1, Bytes(100, 1)));
  std::uint32_t block = 1;
  int taken = 1;
  for (;; ++block) {
    send(block, Bytes(1500, 0));
    const auto a = answer();
    ASSERT_TRUE(a);
    if (opcode_of(a->bytes) == wire::OP_CREATE_NAK) {
      EXPECT_EQ(word_at(a->bytes, 8), block);
      break;
    }
    ++taken;
    ASSERT_LT(block, 100u);
  }
  EXPECT_EQ(taken, 1 + static_cast<int>((UploadStream::kCapacity - 110) / 1500));
  engine.finish(ReceivingDialog::End::cancel);
  EXPECT_FALSE(file_exists(path));
}

TEST_F(ReceiveEngineTest, AClientRepeatingABlockWhoseRecordCanNeverCompleteEndsTheCreateAsInvalid) {
  start();
  // A data record longer than the stream buffer can ever hold.
  send_acked(0, test::data_record_claiming(32767, Bytes(1000, 1)));
  std::uint32_t block = 1;
  for (;; ++block) {
    send(block, Bytes(1400, 2));
    const auto a = answer();
    ASSERT_TRUE(a);
    if (opcode_of(a->bytes) == wire::OP_CREATE_NAK) break;
    ASSERT_LT(block, 100u);
  }
  // The Client sends the refused block again and again, as it is told to.
  for (int i = 1; i < ReceiveEngine::kStalledRepeats - 1; ++i) {
    send(block, Bytes(1400, 2));
    ASSERT_TRUE(answer());
  }
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kReceiving) << "not yet: the block may still be taken";
  send(block, Bytes(1400, 2));
  ASSERT_TRUE(answer());
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{ReceiveEngine::kInvalidStreamText});
  EXPECT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::cancel});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::invalid_stream);
  EXPECT_EQ(aborts_received().size(), 3u);
  EXPECT_FALSE(file_exists(path)) << "the partial file is deleted";
}

TEST_F(ReceiveEngineTest, WriteErrorEndsTheCreateWithItsReasonAndLeavesNoFile) {
  BufferedFileWriter failing(64, io_error_write);
  ASSERT_EQ(failing.open(path), 0);
  start(9, "", false, std::move(failing));
  send_acked(0, test::data_record(Bytes(100, 1)));  // larger than the writer's buffer
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0], std::string(ReceiveEngine::kWriteFailedText) + std::strerror(EIO));
  EXPECT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::cancel});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::write_failed);
  EXPECT_FALSE(file_exists(path));
}

// A small file system of its own, so the disk really fills up.
class FullDiskTest : public ReceiveEngineTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    ReceiveEngineTest::SetUp();
    if (IsSkipped()) return;
    char dir[] = "/tmp/kestrelon_full_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    mount_point = dir;
    ASSERT_EQ(::mount("tmpfs", dir, "tmpfs", 0, "size=256k"), 0) << std::strerror(errno);
    path = mount_point + "/image.krn";
  }
  void TearDown() override {
    ReceiveEngineTest::TearDown();
    if (!mount_point.empty()) {
      ::umount2(mount_point.c_str(), MNT_DETACH);
      ::rmdir(mount_point.c_str());
    }
  }
  Bytes stream_of(std::size_t bytes) {
    Bytes s;
    for (std::size_t i = 0; i < bytes / 1000; ++i) {
      const Bytes r = test::data_record(Bytes(1000, static_cast<std::uint8_t>(i)));
      s.insert(s.end(), r.begin(), r.end());
    }
    const Bytes e = test::end_record();
    s.insert(s.end(), e.begin(), e.end());
    return s;
  }
  std::string mount_point;
};

TEST_F(FullDiskTest, DiskFillingDuringTheUploadEndsItWithTheDiskFullMessageAndLeavesNoFile) {
  start();
  const Bytes stream = stream_of(1500000);
  std::uint32_t block = 0;
  for (std::size_t at = 0; at + 1000 < stream.size() && !::testing::Test::HasFailure(); at += 1000, ++block) {
    send_acked(block, Bytes(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + 1000)));
  }
  engine.supervise();
  EXPECT_EQ(engine.state(), ReceiveEngine::kFinished);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The disk is full!"});
  EXPECT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::cancel});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::cancel), CreateOutcome::disk_full);
  EXPECT_EQ(aborts_received().size(), 3u);
  EXPECT_FALSE(file_exists(path));
}

TEST_F(FullDiskTest, DiskFoundFullOnlyWhenTheLastBytesGoOutStillFailsTheCreate) {
  start();
  upload(stream_of(400000));  // all of it fits the writer's buffer, not the disk
  engine.supervise();
  EXPECT_EQ(dialog.ends(), std::vector<ReceivingDialog::End>{ReceivingDialog::End::ok});
  EXPECT_EQ(engine.finish(ReceivingDialog::End::ok), CreateOutcome::disk_full);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The disk is full!"});
  EXPECT_FALSE(file_exists(path));
}

}  // namespace
}  // namespace kestrelon
