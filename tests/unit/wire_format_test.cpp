// Every datagram the Controller sends, checked byte for byte against the
// protocol's offset tables.
#include "net/wire_format.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace kestrelon::wire {
namespace {

std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

void expect_header_and_trailer(std::span<const std::uint8_t> d, std::uint16_t opcode) {
  ASSERT_GE(d.size(), 12u);
  EXPECT_EQ(d[0], 0x25);
  EXPECT_EQ(d[1], 0x48);
  EXPECT_EQ(d[2], 0x00);
  EXPECT_EQ(d[3], 0x08);
  EXPECT_EQ(d[4], 0x00);
  EXPECT_EQ(d[5], 0x03);
  EXPECT_EQ(d[6], opcode >> 8);
  EXPECT_EQ(d[7], opcode & 0xFF);
  const std::size_t n = d.size();
  EXPECT_EQ(d[n - 4], 0x25);
  EXPECT_EQ(d[n - 3], 0x48);
  EXPECT_EQ(d[n - 2], 0x00);
  EXPECT_EQ(d[n - 1], 0x00);
}

TEST(WireFormat, DiscoverCarriesInterfaceAddressAndControlPort) {
  const auto d = build_discover(Ipv4Address(192, 168, 1, 10));
  const std::vector<std::uint8_t> expected = {0x25, 0x48, 0, 8, 0, 3, 0, 0,  // header, opcode 0
                                              192,  168,  1, 10,            // interface address
                                              0x12, 0x8B,                   // 4747
                                              0x25, 0x48, 0, 0};            // trailer
  EXPECT_EQ(bytes(d), expected);
  auto copy = d;
  set_discover_address(copy, Ipv4Address(10, 0, 0, 5));
  EXPECT_EQ(copy[8], 10);
  EXPECT_EQ(copy[11], 5);
}

TEST(WireFormat, CopyStartLayout) {
  const auto d = build_copy_start({1048575, "lab.krn", 2, kFlagKeepPartitionSize | kFlagSectorBySector});
  ASSERT_EQ(d.size(), 110u);
  expect_header_and_trailer(d, OP_COPY_START);
  // data group 234.142.142.142, data port 4848
  EXPECT_EQ(bytes(std::span(d).subspan(8, 6)), (std::vector<std::uint8_t>{234, 142, 142, 142, 0x12, 0xF0}));
  // 1,048,575 bytes is announced as 1023 KiB
  EXPECT_EQ(bytes(std::span(d).subspan(14, 4)), (std::vector<std::uint8_t>{0, 0, 0x03, 0xFF}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data() + 18)), "lab.krn");
  for (std::size_t i = 18 + 7; i < 98; ++i) EXPECT_EQ(d[i], 0) << "name padding at " << i;
  EXPECT_EQ(d[98], 0);
  EXPECT_EQ(d[99], 2);
  EXPECT_EQ(d[100], 0);
  EXPECT_EQ(d[101], 5);
  for (std::size_t i = 102; i < 106; ++i) EXPECT_EQ(d[i], 0);

  auto patched = d;
  set_copy_start_disk(patched, 3);
  EXPECT_EQ(patched[99], 3);
}

TEST(WireFormat, CopyStartCutsLongNamesTo79Bytes) {
  const std::string long_name(100, 'x');
  const auto d = build_copy_start({0, long_name, 0, 0});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data() + 18)), std::string(79, 'x'));
  EXPECT_EQ(d[18 + 79], 0) << "the field always keeps its terminating zero";

  // A cut that would fall inside a two-byte character steps back before it.
  const std::string utf8 = std::string(78, 'a') + "\xC3\xA9" + "zz";
  EXPECT_EQ(cut_file_name(utf8), std::string(78, 'a'));
  EXPECT_EQ(cut_file_name(std::string(79, 'b')), std::string(79, 'b'));
}

TEST(WireFormat, CopyDataIsAlways1376BytesWithZerosAfterTheValidCount) {
  CopyDataPacket p;
  auto payload = p.payload();
  std::fill(payload.begin(), payload.end(), 0xEE);  // stale bytes of an earlier block
  for (int i = 0; i < 10; ++i) payload[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
  p.seal(0x01020304, 10);
  const auto d = p.bytes();
  ASSERT_EQ(d.size(), 1376u);
  expect_header_and_trailer(d, OP_COPY_DATA);
  EXPECT_EQ(bytes(d.subspan(8, 14)),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 0, 10, 1, 2, 3, 4, 0, 0, 0x04, 0xD2}));  // 1234
  for (std::size_t i = 22; i < 32; ++i) EXPECT_EQ(d[i], i - 21);
  for (std::size_t i = 32; i < 1372; ++i) ASSERT_EQ(d[i], 0) << "byte " << i;
}

TEST(WireFormat, CopyDataFullBlockKeepsAllData) {
  CopyDataPacket p;
  auto payload = p.payload();
  std::iota(payload.begin(), payload.end(), std::uint8_t{0});
  p.seal(7, 1350);
  EXPECT_EQ(p.bytes()[12], 1350 >> 8);
  EXPECT_EQ(p.bytes()[13], 1350 & 0xFF);
  EXPECT_EQ(p.bytes()[22 + 1349], static_cast<std::uint8_t>(1349));
}

TEST(WireFormat, ShortDatagramsWithoutPayload) {
  const std::vector<std::uint8_t> acker = {0x25, 0x48, 0, 8, 0, 3, 0, 7, 0x25, 0x48, 0, 0};
  const std::vector<std::uint8_t> abort = {0x25, 0x48, 0, 8, 0, 3, 0, 19, 0x25, 0x48, 0, 0};
  EXPECT_EQ(bytes(build_acker()), acker);
  EXPECT_EQ(bytes(build_abort()), abort);
}

TEST(WireFormat, CreateRequestLayout) {
  const auto d = build_create_request(9, 1, kFlagSectorBySector);
  const std::vector<std::uint8_t> expected = {0x25, 0x48, 0, 8, 0, 3, 0, 10,  // header
                                              0,    9,    0, 1,               // level, disk
                                              0,    0,    0, 0, 0, 0,         // zero
                                              0,    4,                        // flags
                                              0x25, 0x48, 0, 0};
  EXPECT_EQ(bytes(d), expected);
}

TEST(WireFormat, CreateAckAndNak) {
  const std::vector<std::uint8_t> ack = {0x25, 0x48, 0, 8, 0, 3, 0, 16, 0xDE, 0xAD, 0xBE, 0xEF, 0x25, 0x48, 0, 0};
  const std::vector<std::uint8_t> nak = {0x25, 0x48, 0, 8, 0, 3, 0, 17, 0, 0, 0, 42, 0x25, 0x48, 0, 0};
  EXPECT_EQ(bytes(build_create_ack(0xDEADBEEF)), ack);
  EXPECT_EQ(bytes(build_create_nak(42)), nak);
}

TEST(WireFormat, LengthsMatchTheProtocol) {
  EXPECT_EQ(build_discover({}).size(), 18u);
  EXPECT_EQ(build_copy_start({}).size(), 110u);
  EXPECT_EQ(CopyDataPacket().bytes().size(), 1376u);
  EXPECT_EQ(build_acker().size(), 12u);
  EXPECT_EQ(build_create_request(0, 0, 0).size(), 24u);
  EXPECT_EQ(build_create_ack(0).size(), 16u);
  EXPECT_EQ(build_create_nak(0).size(), 16u);
  EXPECT_EQ(build_abort().size(), 12u);
}

}  // namespace
}  // namespace kestrelon::wire
