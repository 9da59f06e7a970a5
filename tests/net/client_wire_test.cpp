// The Client's encoders read back through the Controller's decoders, and the
// Client's decoders read what the Controller's builders write, so the two sides
// of the protocol are checked against each other and against hand-built bytes.
#include "client_wire.h"

#include <gtest/gtest.h>

#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "support/datagrams.h"

namespace kestrelon::client {
namespace {

const Ipv4Address kSelf(10, 47, 0, 2);

void expect_trailer(const Datagram& d) {
  ASSERT_GE(d.size(), 12u);
  EXPECT_EQ(d[d.size() - 4], 0x25);
  EXPECT_EQ(d[d.size() - 3], 0x48);
  EXPECT_EQ(d[d.size() - 2], 0);
  EXPECT_EQ(d[d.size() - 1], 0);
}

TEST(ClientWire, AnnounceMatchesHandBuiltBytesAndDecodesBack) {
  std::vector<DiskEntry> disks = {test::make_disk(2'000'000, 6), test::make_disk(500'000, 0)};
  disks[1].bios_number = 0x81;
  const Datagram d = encode_announce(AnnounceFields{kSelf, "lab-pc-01", disks});
  test::AnnounceSpec shape;
  shape.address = kSelf;
  shape.name = "lab-pc-01";
  shape.disks = disks;
  EXPECT_EQ(d, test::announce_datagram(shape));
  expect_trailer(d);

  const auto a = wire::decode_announce(d);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->address, kSelf);
  EXPECT_EQ(a->name_text(), "lab-pc-01");
  ASSERT_EQ(a->disk_count, 2);
  EXPECT_EQ(a->disks[0], disks[0]);
  EXPECT_EQ(a->disks[1], disks[1]);
}

TEST(ClientWire, AnnounceLimitsNameDisksAndPartitions) {
  std::vector<DiskEntry> disks(6, test::make_disk(1000, 12));
  DiskEntry crowded = test::make_disk(1000, 12);
  crowded.partition_count = 15;  // more than an entry can carry
  disks[0] = crowded;
  const std::string long_name(50, 'n');
  const Datagram d = encode_announce(AnnounceFields{kSelf, long_name, disks});
  EXPECT_EQ(d.size(), 54u + 4 * 302 + 4);
  const auto a = wire::decode_announce(d);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name_text(), std::string(40, 'n'));
  EXPECT_EQ(a->disk_count, 4);
  EXPECT_EQ(a->disks[0].partition_count, 12);
}

TEST(ClientWire, CopyAnswersDecodeOnTheControllerSide) {
  const Datagram ack = encode_copy_ack(4000, kSelf, 5271, 10000);
  EXPECT_EQ(ack, test::copy_ack_datagram(4000, kSelf, 5271, 10000));
  const auto a = wire::decode_copy_ack(ack);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->block, 4000u);
  EXPECT_EQ(a->client, kSelf);
  EXPECT_EQ(a->done_kib, 5271u);
  EXPECT_EQ(a->total_kib, 10000u);

  const Datagram nak = encode_copy_nak(77, 100, 10000);
  EXPECT_EQ(nak, test::copy_nak_datagram(77, 100, 10000));
  EXPECT_EQ(wire::decode_copy_nak(nak)->block, 77u);

  const Datagram done = encode_copy_done(kSelf);
  EXPECT_EQ(done, test::copy_done_datagram(kSelf));
  EXPECT_EQ(wire::decode_copy_done(done)->client, kSelf);
  EXPECT_TRUE(wire::decode_copy_done(done)->report.empty());
  // A report rides in a record after the fixed fields; a plain trailer is none,
  // and lines past the record's bound are left out whole, never cut.
  const std::vector<std::string> report = {"partition 1 (ext2/3/4) takes the larger disk's room", "swap moved"};
  const auto reported = wire::decode_copy_done(encode_copy_done(kSelf, report));
  ASSERT_TRUE(reported);
  EXPECT_EQ(reported->client, kSelf);
  EXPECT_EQ(reported->report, report);
  Datagram trailer = done;
  trailer.insert(trailer.end(), {0x25, 0x48, 0, 0});
  EXPECT_TRUE(wire::decode_copy_done(trailer)->report.empty());
  const std::vector<std::string> long_report(40, std::string(60, 'x'));
  const Datagram bounded = encode_copy_done(kSelf, long_report);
  EXPECT_LE(bounded.size(), wire::kReceiveBufferSize);
  EXPECT_EQ(wire::decode_copy_done(bounded)->report, std::vector<std::string>(16, std::string(60, 'x')));

  EXPECT_EQ(encode_copy_ready(), test::copy_ready_datagram());
  EXPECT_EQ(wire::opcode_of(encode_copy_ready()), wire::OP_COPY_READY);
}

TEST(ClientWire, CreateDataDecodesOnTheControllerSide) {
  const std::vector<std::uint8_t> payload = {1, 2, 3, 4, 5, 250};
  const Datagram d = encode_create_data(9, payload, 12, 345);
  EXPECT_EQ(d, test::create_data_datagram(9, payload, 12, 345));
  const auto c = wire::decode_create_data(d);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->block, 9u);
  EXPECT_EQ(c->done_kib, 12u);
  EXPECT_EQ(c->total_kib, 345u);
  EXPECT_EQ(std::vector<std::uint8_t>(c->data.begin(), c->data.end()), payload);
  expect_trailer(d);
}

TEST(ClientWire, DecodesWhatTheControllerBuilds) {
  const auto discover = wire::build_discover(Ipv4Address(10, 47, 0, 1));
  const auto dsc = decode_discover(discover);
  ASSERT_TRUE(dsc);
  EXPECT_EQ(dsc->reply_address, Ipv4Address(10, 47, 0, 1));
  EXPECT_EQ(dsc->reply_port, 4747);

  const auto start = wire::build_copy_start({1'048'575, "disk one.krn", 2, 5});
  const auto s = decode_copy_start(start);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->data_group, wire::kDataGroup);
  EXPECT_EQ(s->data_port, 4848);
  EXPECT_EQ(s->image_kib, 1023u);
  EXPECT_EQ(s->file_name, "disk one.krn");
  EXPECT_EQ(s->disk, 2);
  EXPECT_EQ(s->flags, 5);

  const auto request = wire::build_create_request(9, 1, 4);
  const auto r = decode_create_request(request);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->level, 9);
  EXPECT_EQ(r->disk, 1);
  EXPECT_EQ(r->flags, 4);

  EXPECT_EQ(decode_create_answer(wire::build_create_ack(0xDEADBEEF), wire::OP_CREATE_ACK), 0xDEADBEEFu);
  EXPECT_EQ(decode_create_answer(wire::build_create_nak(12), wire::OP_CREATE_NAK), 12u);
  EXPECT_FALSE(decode_create_answer(wire::build_create_nak(12), wire::OP_CREATE_ACK));
  EXPECT_EQ(opcode_of_controller_datagram(wire::build_abort()), wire::OP_ABORT);
  EXPECT_EQ(opcode_of_controller_datagram(wire::build_acker()), wire::OP_ACKER);
}

TEST(ClientWire, CopyDataKeepsOnlyTheValidBytes) {
  wire::CopyDataPacket packet;
  for (std::size_t i = 0; i < wire::kBlockSize; ++i) packet.payload()[i] = static_cast<std::uint8_t>(i);
  packet.seal(41, 10);
  const auto c = decode_copy_data(packet.bytes());
  ASSERT_TRUE(c);
  EXPECT_EQ(c->block, 41u);
  ASSERT_EQ(c->data.size(), 10u);
  EXPECT_EQ(c->data[9], 9);
}

TEST(ClientWire, RefusesShortForeignAndInconsistentDatagrams) {
  wire::CopyDataPacket packet;
  packet.seal(3, 1350);
  std::vector<std::uint8_t> d(packet.bytes().begin(), packet.bytes().end());
  // Cut short: the count claims more than arrived.
  EXPECT_FALSE(decode_copy_data(std::span(d.data(), 100)));
  // The two block numbers disagree.
  auto mismatched = d;
  mismatched[17] = 9;
  EXPECT_FALSE(decode_copy_data(mismatched));
  // A count of zero or above 1350.
  auto zero = d;
  zero[12] = 0;
  zero[13] = 0;
  EXPECT_FALSE(decode_copy_data(zero));
  auto big = d;
  big[12] = 0x05;
  big[13] = 0x47;  // 1351
  EXPECT_FALSE(decode_copy_data(big));
  // Wrong magic, wrong opcode, too short for the fields.
  auto foreign = d;
  foreign[0] = 0x48;
  EXPECT_FALSE(decode_copy_data(foreign));
  EXPECT_FALSE(decode_copy_start(d));
  const auto start = wire::build_copy_start({100, "x", 0, 0});
  EXPECT_FALSE(decode_copy_start(std::span(start.data(), 101)));
  const auto discover = wire::build_discover(Ipv4Address(1, 2, 3, 4));
  EXPECT_FALSE(decode_discover(std::span(discover.data(), 13)));
  EXPECT_FALSE(opcode_of_controller_datagram(std::span(discover.data(), 7)));
}

}  // namespace
}  // namespace kestrelon::client
