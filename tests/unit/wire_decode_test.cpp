// Decoders on exact, short and oversized input: nothing is read past the
// received length, claimed counts are limited, truncated tables keep what arrived.
#include "net/wire_decode.h"

#include <gtest/gtest.h>

#include "support/datagrams.h"

namespace kestrelon::wire {
namespace {

using test::AnnounceSpec;
using test::make_disk;

std::span<const std::uint8_t> first(const std::vector<std::uint8_t>& d, std::size_t n) {
  return std::span(d.data(), n);
}

TEST(WireDecode, HeaderAndMagic) {
  const auto d = test::client_header(12, 8);
  EXPECT_TRUE(has_magic(d));
  const auto h = decode_header(d);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->opcode, 12);
  EXPECT_EQ(h->version, 8);
  EXPECT_FALSE(decode_header(first(d, 7)));
  EXPECT_FALSE(has_magic(first(d, 1)));
  const std::vector<std::uint8_t> foreign = {0x48, 0x25, 0, 8, 0, 3, 0, 5};
  EXPECT_FALSE(has_magic(foreign));
}

TEST(WireDecode, CopyAckExactShortAndOversized) {
  auto d = test::copy_ack_datagram(40, Ipv4Address(10, 0, 0, 7), 512, 2048);
  const auto ack = decode_copy_ack(d);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->block, 40u);
  EXPECT_EQ(ack->client, Ipv4Address(10, 0, 0, 7));
  EXPECT_EQ(ack->done_kib, 512u);
  EXPECT_EQ(ack->total_kib, 2048u);
  EXPECT_FALSE(decode_copy_ack(first(d, 23)));
  d.resize(1600, 0xAB);
  EXPECT_EQ(decode_copy_ack(d)->total_kib, 2048u);
}

TEST(WireDecode, CopyNakAndDone) {
  const auto nak = test::copy_nak_datagram(3, 10, 20);
  ASSERT_TRUE(decode_copy_nak(nak));
  EXPECT_EQ(decode_copy_nak(nak)->block, 3u);
  EXPECT_EQ(decode_copy_nak(nak)->total_kib, 20u);
  EXPECT_FALSE(decode_copy_nak(first(nak, 19)));

  const auto done = test::copy_done_datagram(Ipv4Address(1, 2, 3, 4));
  EXPECT_EQ(decode_copy_done(done)->client, Ipv4Address(1, 2, 3, 4));
  EXPECT_FALSE(decode_copy_done(first(done, 11)));
}

TEST(WireDecode, CreateDataRefusesACountLongerThanWhatArrived) {
  const std::vector<std::uint8_t> payload = {1, 2, 3, 4, 5};
  const auto d = test::create_data_datagram(9, payload, 100, 200);
  const auto c = decode_create_data(d);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->block, 9u);
  EXPECT_EQ(c->done_kib, 100u);
  EXPECT_EQ(c->total_kib, 200u);
  EXPECT_EQ(std::vector<std::uint8_t>(c->data.begin(), c->data.end()), payload);
  EXPECT_TRUE(decode_create_data(first(d, 22 + 5)));
  EXPECT_FALSE(decode_create_data(first(d, 22 + 4)));
  EXPECT_FALSE(decode_create_data(first(d, 21)));
}

TEST(WireDecode, AnnounceFillsNameDisksAndPartitions) {
  AnnounceSpec s;
  s.address = Ipv4Address(192, 168, 1, 20);
  s.name = "PC-01";
  s.disks = {make_disk(4194304, 2), make_disk(2097152, 0)};
  const auto a = decode_announce(test::announce_datagram(s));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->address, s.address);
  EXPECT_EQ(a->name_text(), "PC-01");
  ASSERT_EQ(a->disk_count, 2);
  EXPECT_EQ(a->disks[0], s.disks[0]);
  EXPECT_EQ(a->disks[1], s.disks[1]);
  EXPECT_EQ(a->disks[0].partitions[1].first_extra, 4096u);
}

TEST(WireDecode, AnnounceNameWithoutTerminatorUsesAll40Bytes) {
  AnnounceSpec s;
  s.name = std::string(45, 'N');
  const auto a = decode_announce(test::announce_datagram(s));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name_text(), std::string(40, 'N'));
}

TEST(WireDecode, AnnounceLimitsSixDisksToFourAndFifteenPartitionsToTwelve) {
  AnnounceSpec s;
  s.disks = {make_disk(100, 12), make_disk(200, 1), make_disk(300, 1), make_disk(400, 1), make_disk(500, 1),
             make_disk(600, 1)};
  s.claimed_disks = 6;
  auto a = decode_announce(test::announce_datagram(s));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 4);
  EXPECT_EQ(a->disks[3].size_sectors, 400u);

  AnnounceSpec p;
  p.disks = {make_disk(100, 12)};
  p.claimed_partitions = 15;
  a = decode_announce(test::announce_datagram(p));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disks[0].partition_count, 12);
}

TEST(WireDecode, ShortAnnounceKeepsOnlyDisksThatArrivedWhole) {
  AnnounceSpec s;
  s.address = Ipv4Address(10, 1, 1, 1);
  s.disks = {make_disk(1000, 3), make_disk(2000, 2)};
  const auto full = test::announce_datagram(s);

  // Disk 1 needs its 14-byte head and 2 entries: 54 + 302 + 14 + 48 bytes.
  const std::size_t disk1_whole = 54 + 302 + 14 + 48;
  auto a = decode_announce(first(full, disk1_whole));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 2);

  a = decode_announce(first(full, disk1_whole - 1));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 1) << "a disk missing part of a partition entry is dropped";
  EXPECT_EQ(a->disks[0].partition_count, 3);

  a = decode_announce(first(full, 54 + 14 + 72 - 1));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 0);

  a = decode_announce(first(full, 54));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 0);
  EXPECT_EQ(a->address, s.address);

  EXPECT_FALSE(decode_announce(first(full, 53)));
}

TEST(WireDecode, AnnounceWithNoDisks) {
  AnnounceSpec s;
  s.name = "Empty";
  const auto a = decode_announce(test::announce_datagram(s));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->disk_count, 0);
}

}  // namespace
}  // namespace kestrelon::wire
