// Create uploads from a Client program in this process to the Controller's
// receive engine over loopback: the image file it writes, restored onto another
// disk, gives every partition and the partition tables back byte for byte, at
// every compression level and with lost datagrams; the link patch fills in the
// image length. A Client that reads a long empty stretch slowly keeps the Create
// alive, and a partition past 2 TiB is imaged with its true size. The stream itself is also fed straight to the Controller's
// stream rules to see its records and how full the stream buffer gets.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "client_disk_checks.h"
#include "image_restorer.h"
#include "disk_device.h"
#include "image_builder.h"
#include "image/image_layout.h"
#include "running_client.h"
#include "upload_stream.h"
#include "net/byte_order.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "support/child_process.h"
#include "support/image_files.h"
#include "support/controller_parts.h"
#include "support/private_network.h"
#include "support/recording_receiving_dialog.h"
#include "support/recording_ui.h"
#include "support/udp_peer.h"
#include "support/virtual_disk.h"
#include "transfer/image_info.h"
#include "transfer/receive_engine.h"
#include "transfer/upload_stream.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 80);
// A scripted Controller for the faults, apart from the receive engine's endpoint.
const Ipv4Address kScripted(127, 0, 0, 3);

class ClientCreateUpload : public ::testing::Test, protected test::ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    source = dir.file("source.img");
    fill_mixed_disk(source);
    dispatcher.set_create_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController}}; }));
    // The Client as the Controller lists it, with the disk it announced.
    ASSERT_TRUE(list_as_client(source, kClient, "uploader", record));
  }
  void TearDown() override { endpoints.close_all(); }
  ClientOptions options() { return options_with(source); }
  ClientOptions options_with(const std::string& disk) {
    ClientOptions o;
    o.address = kClient;
    o.disks = {disk};
    return o;
  }
  // One Create through the receive engine, supervised every 50 ms as the main
  // frame's timer does; the image file's bytes, empty when it was not kept.
  std::vector<std::uint8_t> run_create(int slider, const std::string& description = "",
                                       bool sector_by_sector = false) {
    const std::string path = dir.file("created.krn");
    BufferedFileWriter file;
    EXPECT_EQ(file.open(path), 0);
    running->start({std::move(file), record, description, slider, sector_by_sector, &dialog});
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (dialog.ends().empty() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(50ms);
      running->supervise();
    }
    if (dialog.ends().empty()) return {};
    outcome = running->finish(dialog.ends().front());
    return outcome == CreateOutcome::completed ? test::read_file(path) : std::vector<std::uint8_t>{};
  }
  // Restores `image_bytes` onto a fresh disk full of junk and compares it with `from`.
  void expect_restores(const std::vector<std::uint8_t>& image_bytes, const std::string& from = "",
                       std::uint64_t mib = 64) {
    const std::string target = dir.file("target.img");
    ASSERT_TRUE(test::make_virtual_disk(target, mib, ""));
    ASSERT_TRUE(test::fill_region(target, 0, mib * kMiB / 2, 9, false));
    ASSERT_EQ(restore_image(image_bytes, target), "");
    expect_same_disks(from.empty() ? source : from, target);
  }
  test::TempDir dir;
  std::string source;
  ReceiveEngine engine{endpoints, stats, ui, SystemClock::instance(), ReceiveTiming{7000, 500ms}};
  ReceiveEngine* running = &engine;  // the engine run_create drives
  test::RecordingReceivingDialog dialog;
  ClientRecord record;
  CreateOutcome outcome = CreateOutcome::cancelled;
};

TEST_F(ClientCreateUpload, CompressedUploadRestoresByteForByte) {
  ClientOptions o = options();
  o.once = true;
  RunningClient client(o);
  ASSERT_TRUE(client.ok());
  const auto file = run_create(9, "Lab image, Monday");
  ASSERT_FALSE(file.empty()) << "outcome " << int(outcome);
  EXPECT_EQ(client.wait(3s), 0) << "the Client heard the end acknowledged";
  EXPECT_EQ(stats.retries.load(), 0);
  // The link patch wrote the file length into bytes 4-7, where the Client's
  // own copy of it agrees.
  EXPECT_EQ(read_le32(file, 4), file.size());
  EXPECT_EQ(image::probe_length(file), file.size());
  // The Controller's fields: description, partition count, sizes.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data() + 256)), "Lab image, Monday");
  EXPECT_EQ(file[5513], 4);
  EXPECT_EQ(read_le32(file, 7066), 16384u);
  EXPECT_EQ(read_le32(file, 7070), 16384u);
  EXPECT_EQ(read_le32(file, 7066 + 24 * 3), 8192u);
  // Progress in KiB: the partitions' total and the boot loader's room before
  // the first (sectors 1-2047), reached at the end.
  EXPECT_EQ(stats.progress_total.load(), (16384u + 8192 * 3 + 2047) / 2);
  EXPECT_EQ(stats.progress_done.load(), stats.progress_total.load());
  // Compressed and zero chunks left out: far smaller than the 20 MiB of partitions.
  EXPECT_LT(file.size(), 4 * kMiB);
  expect_restores(file);
}

TEST_F(ClientCreateUpload, InfoDescribesTheImageACreateMadeAndTellsACutOffCopy) {
  RunningClient client(options());
  const auto file = run_create(5, "Room 4, spring term");
  ASSERT_FALSE(file.empty()) << "outcome " << int(outcome);
  const std::string path = dir.file("created.krn");
  std::string error;
  const auto info = read_image_info(path, &error);
  ASSERT_TRUE(info) << error;
  EXPECT_TRUE(info->well_formed()) << info->problem;
  EXPECT_EQ(info->description, "Room 4, spring term");
  EXPECT_EQ(info->length, file.size());
  EXPECT_EQ(info->recorded_length, file.size());
  // The source disk's partitions: two primaries, then two logical ones.
  ASSERT_EQ(info->partitions.size(), 4u);
  const int numbers[] = {1, 2, 5, 6};
  const int types[] = {0x83, 0x0b, 0x83, 0x82};
  const std::uint64_t sizes[] = {16384, 8192, 8192, 8192};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(info->partitions[k].number, numbers[k]) << k;
    EXPECT_EQ(info->partitions[k].type, types[k]) << k;
    EXPECT_EQ(info->partitions[k].full_sectors, sizes[k]) << k;
    EXPECT_LE(info->partitions[k].data_sectors, sizes[k]) << k;
  }
  EXPECT_EQ(info->full_sectors, 16384u + 3 * 8192);
  EXPECT_STREQ(partition_type_name(info->partitions[1].type), "FAT32");
  EXPECT_STREQ(partition_type_name(info->partitions[3].type), "Linux swap");

  // A copy cut off halfway keeps its header, but is no longer a whole image.
  const std::string cut = dir.file("cut.krn");
  test::write_file(cut, std::vector<std::uint8_t>(file.begin(), file.begin() + static_cast<long>(file.size() / 2)));
  const auto cut_info = read_image_info(cut, &error);
  ASSERT_TRUE(cut_info) << error;
  EXPECT_FALSE(cut_info->well_formed());
  EXPECT_NE(cut_info->problem.find("it was cut off"), std::string::npos) << cut_info->problem;

  // The command line shows the same, sizes in bytes.
  test::ChildProcess cli({KESTRELON_CLI_PATH, "info", path, "--json"});
  ASSERT_EQ(cli.wait(5s), 0) << cli.output();
  const nlohmann::json shown = nlohmann::json::parse(cli.output());
  EXPECT_EQ(shown["description"], "Room 4, spring term");
  EXPECT_EQ(shown["bytes"], file.size());
  EXPECT_EQ(shown["well_formed"], true);
  ASSERT_EQ(shown["partitions"].size(), 4u);
  EXPECT_EQ(shown["partitions"][1]["type_name"], "FAT32");
  EXPECT_EQ(shown["partitions"][0]["full_bytes"], 16384u * 512);
  EXPECT_EQ(shown["full_bytes"], (16384u + 3 * 8192) * 512);
  test::ChildProcess cut_cli({KESTRELON_CLI_PATH, "info", cut});
  EXPECT_EQ(cut_cli.wait(5s), 1) << cut_cli.output();
  EXPECT_NE(cut_cli.output().find("Well-formed:  no: "), std::string::npos) << cut_cli.output();
}

TEST_F(ClientCreateUpload, StoredSectorBySectorUploadKeepsEveryChunk) {
  RunningClient client(options());
  const auto file = run_create(0, "", true);
  ASSERT_FALSE(file.empty());
  // Every byte of the 20 MiB of partitions is there, plus heads.
  EXPECT_GT(file.size(), 20 * kMiB);
  EXPECT_EQ(read_le16(file, 14), image::kFlagAllChunks);
  expect_restores(file);
}

TEST_F(ClientCreateUpload, LostDatagramsAreResentAndTheImageIsWhole) {
  ClientOptions o = options();
  o.faults.seed = 5;
  o.faults.drop_in = 3;
  o.faults.drop_out = 3;
  o.faults.duplicate_out = 3;
  RunningClient client(o);
  const auto file = run_create(1);
  ASSERT_FALSE(file.empty());
  EXPECT_GT(stats.acknowledgements.load(), 1000);
  expect_restores(file);
}

TEST_F(ClientCreateUpload, AClientReadingALongEmptyStretchSlowlyKeepsTheCreateAlive) {
  // One partition of 6 MiB of written zeros (no holes to pass over) between a
  // little data at each end: at 40 ms a read, about 4 s pass with nothing for
  // the image, against an inactivity time of 1.5 s.
  const std::string slow = dir.file("slow.img");
  ASSERT_TRUE(test::make_virtual_disk(slow, 8, "label: dos\nstart=2048, size=12288, type=83\n"));
  ASSERT_EQ(test::run_shell("dd if=/dev/zero of='" + slow + "' bs=1M seek=1 count=6 conv=notrunc status=none"), 0);
  ASSERT_TRUE(test::fill_region(slow, 2048 * 512, 4096, 21, true));
  ASSERT_TRUE(test::fill_region(slow, 7 * kMiB - 4096, 4096, 22, false));
  ASSERT_TRUE(list_as_client(slow, kClient, "slow", record));
  ReceiveEngine quick{endpoints, stats, ui, SystemClock::instance(), ReceiveTiming{1500, 500ms}};
  dispatcher.set_create_handler(&quick);
  running = &quick;
  ClientOptions o = options();
  o.disks = {slow};
  o.faults.slow_read_ms = 40;
  for (const int slider : {1, 9}) {
    RunningClient client(o);
    const auto started = std::chrono::steady_clock::now();
    stats.acknowledgements.store(0);
    dialog.clear();
    const auto file = run_create(slider);
    ASSERT_FALSE(file.empty()) << "level " << slider << ": outcome " << int(outcome);
    EXPECT_GT(std::chrono::steady_clock::now() - started, 3s) << "the reading outlasted the inactivity time";
    EXPECT_GT(stats.acknowledgements.load(), file.size() / kUploadPayload + 4)
        << "blocks beyond the image's own kept the Create alive";
    expect_restores(file, slow, 8);
  }
}

TEST_F(ClientCreateUpload, APartitionPast2TiBIsImagedWithItsTrueSizeInItsArea) {
  // A sparse disk file of 2.5 TiB with a GPT: a 1 MiB partition, then one of all
  // the rest (more sectors than 32 bits count), with bytes at its start and
  // 2.2 TiB into it. The holes are passed over unread.
  const std::string big = dir.file("big.img");
  ASSERT_EQ(test::run_shell("truncate -s 2560G '" + big + "' && sgdisk -o -n 1:2048:+1M -n 2:0:0 '" + big +
                            "' >/dev/null 2>&1"),
            0);
  std::string error;
  const auto table = DiskDevice::open(big, false, &error)->partition_table(&error);
  ASSERT_TRUE(table) << error;
  const Partition p2 = table->partitions.at(1);
  ASSERT_GT(p2.sectors, 0xFFFFFFFFu);
  const std::uint64_t far = p2.start_lba * 512 + 2200 * (kMiB << 10);
  ASSERT_TRUE(test::fill_region(big, p2.start_lba * 512, 65536, 23, true));
  ASSERT_TRUE(test::fill_region(big, far, 100000, 24, false));
  ASSERT_TRUE(list_as_client(big, kClient, "big", record));
  RunningClient client(options_with(big));
  const auto file = run_create(1);
  ASSERT_FALSE(file.empty()) << "outcome " << int(outcome);

  const ChunkList list = chunks_of(file);
  ASSERT_EQ(list.header.areas.size(), 3u) << "the boot loader's room and the two partitions";
  EXPECT_EQ(list.header.areas[2], (image::Area{p2.start_lba, p2.sectors})) << "the true size";
  EXPECT_EQ(read_le32(file, 7066 + 24), 0xFFFFFFFFu) << "the summary holds as much as it can";
  EXPECT_EQ(read_le32(file, 7070 + 24), 0xFFFFFFFFu);
  std::uint64_t area_bytes = 0;
  for (const image::Area& a : list.header.areas) area_bytes += a.sectors * 512;
  EXPECT_EQ(stats.progress_total.load(), area_bytes >> 10);
  EXPECT_EQ(stats.progress_done.load(), stats.progress_total.load()) << "read or passed over, every byte";

  const std::string copy_of_big = dir.file("copy.img");
  ASSERT_EQ(test::run_shell("truncate -s 2560G '" + copy_of_big + "'"), 0);
  ASSERT_EQ(restore_image(file, copy_of_big), "");
  EXPECT_EQ(test::run_shell("sgdisk -v '" + copy_of_big + "' | grep -q 'No problems found'"), 0);
  EXPECT_EQ(DiskDevice::open(copy_of_big, false, &error)->partition_table(&error)->partitions, table->partitions);
  EXPECT_EQ(test::read_region(copy_of_big, p2.start_lba * 512, 65536), test::read_region(big, p2.start_lba * 512, 65536));
  EXPECT_EQ(test::read_region(copy_of_big, far - 512, 101000), test::read_region(big, far - 512, 101000));
}

// The Controller's stream rules, fed the payloads directly: the records come in
// the documented order and never fill more than half the stream buffer.
struct RecordLog : UploadRecordSink {
  std::vector<std::pair<int, std::size_t>> records;  // type, data length
  void on_data(std::span<std::uint8_t> d) override { records.emplace_back(REC_DATA, d.size()); }
  void on_mark() override { records.emplace_back(REC_MARK, 0); }
  void on_seek_mark() override { records.emplace_back(REC_SEEK_MARK, 0); }
  void on_swap_mark() override { records.emplace_back(REC_SWAP_MARK, 0); }
  void on_end() override { records.emplace_back(REC_END, 0); }
};

TEST_F(ClientCreateUpload, StreamRecordsFitTheControllersBuffer) {
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(source, false, &error), BuildRequest{0, false}, &error);
  ASSERT_TRUE(builder) << error;
  client::UploadStream stream(std::move(builder));
  kestrelon::UploadStream rules;
  RecordLog log;
  std::size_t peak = 0;
  UploadPiece piece;
  while (stream.next(piece)) {
    ASSERT_LE(piece.payload.size(), kUploadPayload);
    ASSERT_TRUE(rules.append(piece.payload));
    peak = std::max(peak, rules.buffered());
    rules.consume(log);
    if (piece.last) break;
  }
  EXPECT_TRUE(piece.last);
  EXPECT_LT(peak, kestrelon::UploadStream::kCapacity / 2);
  ASSERT_GE(log.records.size(), 6u);
  EXPECT_EQ(log.records.front().first, REC_MARK);
  EXPECT_EQ(log.records[1], (std::pair<int, std::size_t>{REC_DATA, kMaxRecordData}));
  const auto n = log.records.size();
  EXPECT_EQ(log.records[n - 4].first, REC_SWAP_MARK);
  EXPECT_EQ(log.records[n - 3], (std::pair<int, std::size_t>{REC_DATA, image::kLinkPatchLength}));
  EXPECT_EQ(log.records[n - 2].first, REC_SEEK_MARK);
  EXPECT_EQ(log.records[n - 1].first, REC_END);
}

TEST_F(ClientCreateUpload, AbortStopsTheUpload) {
  ClientOptions o = options();
  o.once = true;
  RunningClient client(o);
  test::UdpPeer controller(kScripted, wire::kControlPort);
  controller.send(wire::build_create_request(0, 0, 0), kClient, wire::kControlPort);
  auto first = controller.receive(2000);
  ASSERT_TRUE(first);
  for (int i = 0; i < 3; ++i) controller.send(wire::build_abort(), kClient, wire::kControlPort);
  controller.receive_all(300);
  EXPECT_FALSE(controller.receive(500)) << "nothing is sent after the abort";
  EXPECT_EQ(client.wait(2s), 1) << "--once: the aborted transfer ends the program with status 1";
}

TEST_F(ClientCreateUpload, SilentAfterABlockStopsSending) {
  ClientOptions o = options();
  o.faults.silent_after_block = 3;
  RunningClient client(o);
  test::UdpPeer controller(kScripted, wire::kControlPort);
  controller.send(wire::build_create_request(0, 0, 0), kClient, wire::kControlPort);
  std::uint32_t highest = 0;
  for (int i = 0; i < 4; ++i) {
    const auto r = controller.receive(2000);
    ASSERT_TRUE(r);
    const auto d = wire::decode_create_data(r->bytes);
    highest = std::max(highest, d->block);
    controller.send(wire::build_create_ack(d->block), kClient, wire::kControlPort);
  }
  EXPECT_EQ(highest, 3u);
  EXPECT_FALSE(controller.receive(500));
}

TEST_F(ClientCreateUpload, RequestForAMissingDiskIsRefused) {
  ClientOptions o = options();
  o.once = true;
  RunningClient client(o);
  test::UdpPeer controller(kScripted, wire::kControlPort);
  controller.send(wire::build_create_request(0, 3, 0), kClient, wire::kControlPort);
  EXPECT_FALSE(controller.receive(500));
  EXPECT_EQ(client.wait(1s), 1) << "--once: a refused request is a failed transfer";
}

TEST(ClientImageRestore, RefusesDamageAndSmallDisks) {
  test::TempDir dir;
  image::ImageHeader h;
  h.partitions.push_back(image::ImagePartition{1, 0x83, 0, false, 2048, 4096});
  std::vector<std::uint8_t> bytes = image::encode_header(h);
  std::vector<std::uint8_t> raw(65536, 0x41);
  image::ChunkHead c;
  c.partition = 0;
  c.raw_length = c.stored_length = 65536;
  c.checksum = 12345;  // wrong
  const auto head = image::encode_chunk_head(c);
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), raw.begin(), raw.end());

  ASSERT_TRUE(test::make_virtual_disk(dir.file("small.img"), 1, ""));
  std::string error;
  ImageRestorer small(DiskDevice::open(dir.file("small.img"), true, &error));
  EXPECT_FALSE(small.consume(bytes));
  EXPECT_NE(small.error().find("needs 6144 sectors"), std::string::npos) << small.error();

  ASSERT_TRUE(test::make_virtual_disk(dir.file("big.img"), 8, ""));
  ImageRestorer damaged(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_FALSE(damaged.consume(bytes));
  EXPECT_NE(damaged.error().find("checksum"), std::string::npos) << damaged.error();

  ImageRestorer cut(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_TRUE(cut.consume(std::span(bytes.data(), 9000)));
  EXPECT_FALSE(cut.finish());
  EXPECT_NE(cut.error().find("ended before"), std::string::npos) << cut.error();

  std::vector<std::uint8_t> foreign(9000, 7);
  ImageRestorer other(DiskDevice::open(dir.file("big.img"), true, &error));
  EXPECT_FALSE(other.consume(foreign));
  EXPECT_NE(other.error().find("not an image of this Client"), std::string::npos);
}

}  // namespace
}  // namespace kestrelon::client
