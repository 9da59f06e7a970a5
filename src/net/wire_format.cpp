#include "net/wire_format.h"

#include <algorithm>
#include <cstring>

#include "net/byte_order.h"

namespace kestrelon::wire {

void write_header(std::span<std::uint8_t> d, Opcode opcode) {
  write_be16(d, 0, kMagic);
  write_be16(d, 2, kPacketVersion);
  write_be16(d, 4, kHeaderConstant);
  write_be16(d, 6, opcode);
}

void write_trailer(std::span<std::uint8_t> d, std::size_t at) {
  write_be16(d, at, kMagic);
  write_be16(d, at + 2, 0);
}

std::uint16_t opcode_of(std::span<const std::uint8_t> d) { return read_be16(d, 6); }

std::array<std::uint8_t, kDiscoverLength> build_discover(Ipv4Address interface_address) {
  std::array<std::uint8_t, kDiscoverLength> d{};
  write_header(d, OP_DISCOVER);
  set_discover_address(d, interface_address);
  write_be16(d, 12, kControlPort);
  write_trailer(d, 14);
  return d;
}

void set_discover_address(std::span<std::uint8_t> d, Ipv4Address a) {
  write_be32(d, kDiscoverAddressOffset, a.value());
}

std::string_view cut_file_name(std::string_view name) {
  constexpr std::size_t kMax = kCopyStartNameField - 1;
  if (name.size() <= kMax) return name;
  std::size_t n = kMax;
  // Step back over UTF-8 continuation bytes when the cut falls inside a character.
  const auto continuation = [&](std::size_t i) {
    return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
  };
  if (continuation(n)) {
    while (n > 0 && continuation(n)) --n;
  }
  return name.substr(0, n);
}

std::array<std::uint8_t, kCopyStartLength> build_copy_start(const CopyStartFields& f) {
  std::array<std::uint8_t, kCopyStartLength> d{};
  write_header(d, OP_COPY_START);
  write_be32(d, 8, kDataGroup.value());
  write_be16(d, 12, kDataPort);
  write_be32(d, 14, static_cast<std::uint32_t>(f.image_length >> 10));
  const std::string_view name = cut_file_name(f.file_name);
  if (!name.empty()) std::memcpy(d.data() + kCopyStartNameOffset, name.data(), name.size());
  set_copy_start_disk(d, f.disk);
  write_be16(d, 100, f.flags);
  write_trailer(d, 106);
  return d;
}

void set_copy_start_disk(std::span<std::uint8_t> d, std::uint16_t disk) {
  write_be16(d, kCopyStartDiskOffset, disk);
}

CopyDataPacket::CopyDataPacket() {
  write_header(bytes_, OP_COPY_DATA);
  write_be32(bytes_, 18, 1234);
  write_trailer(bytes_, kCopyDataLength - kTrailerLength);
}

void CopyDataPacket::seal(std::uint32_t block, std::uint16_t count) {
  count = std::min<std::uint16_t>(count, kBlockSize);
  write_be32(bytes_, 8, block);
  write_be16(bytes_, 12, count);
  write_be32(bytes_, 14, block);
  std::fill(bytes_.begin() + kCopyDataPayloadOffset + count,
            bytes_.begin() + kCopyDataPayloadOffset + kBlockSize, std::uint8_t{0});
}

namespace {
template <std::size_t N>
std::array<std::uint8_t, N> header_and_trailer(Opcode opcode) {
  std::array<std::uint8_t, N> d{};
  write_header(d, opcode);
  write_trailer(d, N - kTrailerLength);
  return d;
}
}  // namespace

std::array<std::uint8_t, kCopyNameLength> build_copy_name(const CopyNameFields& f) {
  auto d = header_and_trailer<kCopyNameLength>(OP_COPY_NAME);
  write_be32(d, 8, f.target.value());
  write_be16(d, 12, f.disk);
  const std::size_t n = std::min(f.computer_name.size(), kComputerNameField - 1);
  std::copy_n(f.computer_name.begin(), n, d.begin() + kComputerNameOffset);
  return d;
}

std::array<std::uint8_t, kAckerLength> build_acker() { return header_and_trailer<kAckerLength>(OP_ACKER); }

std::array<std::uint8_t, kAbortLength> build_abort() { return header_and_trailer<kAbortLength>(OP_ABORT); }

std::array<std::uint8_t, kCreateRequestLength> build_create_request(std::uint16_t level, std::uint16_t disk,
                                                                    std::uint16_t flags) {
  auto d = header_and_trailer<kCreateRequestLength>(OP_CREATE_REQUEST);
  write_be16(d, 8, level);
  write_be16(d, 10, disk);
  write_be16(d, 18, flags);
  return d;
}

std::array<std::uint8_t, kCreateAckLength> build_create_ack(std::uint32_t block) {
  auto d = header_and_trailer<kCreateAckLength>(OP_CREATE_ACK);
  write_be32(d, 8, block);
  return d;
}

std::array<std::uint8_t, kCreateNakLength> build_create_nak(std::uint32_t expected_block) {
  auto d = header_and_trailer<kCreateNakLength>(OP_CREATE_NAK);
  write_be32(d, 8, expected_block);
  return d;
}

}  // namespace kestrelon::wire
