#include "client_wire.h"

#include <algorithm>

#include "net/byte_order.h"
#include "net/wire_format.h"

namespace kestrelon::client {
namespace {

using namespace kestrelon::wire;

Datagram with_header(std::uint16_t opcode, std::size_t payload_end) {
  Datagram d(payload_end + kTrailerLength, 0);
  write_header(d, static_cast<Opcode>(opcode));
  write_trailer(d, payload_end);
  return d;
}

constexpr std::size_t kAnnounceHead = 54;
constexpr std::size_t kDiskBlock = 302;
constexpr std::size_t kDiskHead = 14;
constexpr std::size_t kPartitionEntry = 24;

void put_disk(std::span<std::uint8_t> b, const DiskEntry& disk) {
  const int partitions = std::clamp(disk.partition_count, 0, kMaxPartitions);
  write_be16(b, 0, disk.bios_number);
  write_be16(b, 2, disk.geometry1);
  write_be16(b, 4, disk.geometry2);
  write_be16(b, 6, disk.geometry3);
  write_be16(b, 8, static_cast<std::uint16_t>(partitions));
  write_be32(b, 10, disk.size_sectors);
  for (int p = 0; p < partitions; ++p) {
    const PartitionEntry& e = disk.partitions[static_cast<std::size_t>(p)];
    auto entry = b.subspan(kDiskHead + kPartitionEntry * static_cast<std::size_t>(p), kPartitionEntry);
    entry[0] = e.number;
    entry[1] = e.boot;
    entry[2] = e.type;
    entry[3] = e.logical;
    write_be32(entry, 6, e.first_extra);
    write_be32(entry, 10, e.size_sectors);
    write_be32(entry, 14, e.second_extra);
  }
}

bool is_controller_datagram(std::span<const std::uint8_t> d, std::uint16_t opcode, std::size_t min_length) {
  return d.size() >= std::max(min_length, kHeaderLength) && read_be16(d, 0) == kMagic &&
         read_be16(d, 6) == opcode;
}

}  // namespace

Datagram encode_announce(const AnnounceFields& f) {
  const std::size_t disks = std::min<std::size_t>(f.disks.size(), kMaxDisks);
  const std::size_t end = kAnnounceHead + kDiskBlock * disks;
  Datagram d = with_header(OP_ANNOUNCE, end);
  write_be32(d, 8, f.address.value());
  std::copy_n(f.name.begin(), std::min<std::size_t>(f.name.size(), 40), d.begin() + 12);
  write_be16(d, 52, static_cast<std::uint16_t>(disks));
  for (std::size_t i = 0; i < disks; ++i) {
    put_disk(std::span(d).subspan(kAnnounceHead + kDiskBlock * i, kDiskBlock), f.disks[i]);
  }
  return d;
}

Datagram encode_copy_ack(std::uint32_t block, Ipv4Address self, std::uint32_t done, std::uint32_t total) {
  Datagram d = with_header(OP_COPY_ACK, 24);
  write_be32(d, 8, block);
  write_be32(d, 12, self.value());
  write_be32(d, 16, done);
  write_be32(d, 20, total);
  return d;
}

Datagram encode_copy_nak(std::uint32_t block, std::uint32_t done, std::uint32_t total) {
  Datagram d = with_header(OP_COPY_NAK, 20);
  write_be32(d, 8, block);
  write_be32(d, 12, done);
  write_be32(d, 16, total);
  return d;
}

Datagram encode_copy_done(Ipv4Address self, const std::vector<std::string>& report) {
  std::string text;
  for (const std::string& line : report) {
    const std::string joined = text.empty() ? line : text + "\n" + line;
    if (joined.size() > kMaxCopyDoneReport) break;
    text = joined;
  }
  Datagram d = with_header(OP_COPY_DONE, kCopyDoneRecordsOffset + (text.empty() ? 0 : kCopyDoneRecordHead + text.size()));
  write_be32(d, 8, self.value());
  if (text.empty()) return d;
  write_be16(d, kCopyDoneRecordsOffset, kMagic);
  write_be16(d, kCopyDoneRecordsOffset + 2, kCopyDoneReport);
  write_be16(d, kCopyDoneRecordsOffset + 4, static_cast<std::uint16_t>(text.size()));
  std::copy(text.begin(), text.end(), d.begin() + static_cast<long>(kCopyDoneRecordsOffset + kCopyDoneRecordHead));
  return d;
}

Datagram encode_copy_ready() { return with_header(OP_COPY_READY, kHeaderLength); }

Datagram encode_create_data(std::uint32_t block, std::span<const std::uint8_t> data, std::uint32_t done,
                            std::uint32_t total) {
  Datagram d = with_header(OP_CREATE_DATA, kCreateDataHead + data.size());
  write_be32(d, 8, block);
  write_be16(d, 12, static_cast<std::uint16_t>(data.size()));
  write_be32(d, 14, done);
  write_be32(d, 18, total);
  std::copy(data.begin(), data.end(), d.begin() + kCreateDataHead);
  return d;
}

Datagram encode_copy_name_answer(const CopyNameAnswerFields& f) {
  std::string_view text = f.text.substr(0, std::min(f.text.size(), kNameReportTextMax));
  // Step back over UTF-8 continuation bytes when the cut falls inside a character.
  if (text.size() < f.text.size()) {
    while (!text.empty() && (static_cast<unsigned char>(f.text[text.size()]) & 0xC0) == 0x80) {
      text.remove_suffix(1);
    }
  }
  Datagram d = with_header(OP_COPY_NAME, kNameAnswerTextOffset + text.size());
  write_be32(d, 8, f.self.value());
  write_be16(d, 12, static_cast<std::uint16_t>(f.answer));
  write_be16(d, 14, static_cast<std::uint16_t>(f.outcome));
  std::copy_n(f.computer_name.begin(), std::min(f.computer_name.size(), kComputerNameField - 1),
              d.begin() + kComputerNameOffset);
  write_be16(d, 80, static_cast<std::uint16_t>(text.size()));
  std::copy(text.begin(), text.end(), d.begin() + kNameAnswerTextOffset);
  return d;
}

std::optional<std::uint16_t> opcode_of_controller_datagram(std::span<const std::uint8_t> d) {
  if (d.size() < kHeaderLength || read_be16(d, 0) != kMagic) return std::nullopt;
  return read_be16(d, 6);
}

std::optional<Discover> decode_discover(std::span<const std::uint8_t> d) {
  if (!is_controller_datagram(d, OP_DISCOVER, 14)) return std::nullopt;
  return Discover{Ipv4Address(read_be32(d, 8)), read_be16(d, 12)};
}

std::optional<CopyStart> decode_copy_start(std::span<const std::uint8_t> d) {
  if (!is_controller_datagram(d, OP_COPY_START, 102)) return std::nullopt;
  CopyStart s;
  s.data_group = Ipv4Address(read_be32(d, 8));
  s.data_port = read_be16(d, 12);
  s.image_kib = read_be32(d, 14);
  const auto name = d.subspan(kCopyStartNameOffset, kCopyStartNameField);
  const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
  s.file_name.assign(name.begin(), end);
  s.disk = read_be16(d, kCopyStartDiskOffset);
  s.flags = read_be16(d, 100);
  return s;
}

std::optional<CopyName> decode_copy_name(std::span<const std::uint8_t> d) {
  if (!is_controller_datagram(d, OP_COPY_NAME, kComputerNameOffset + kComputerNameField)) return std::nullopt;
  CopyName n;
  n.target = Ipv4Address(read_be32(d, 8));
  n.disk = read_be16(d, 12);
  const auto name = d.subspan(kComputerNameOffset, kComputerNameField);
  n.computer_name.assign(name.begin(), std::find(name.begin(), name.end(), std::uint8_t{0}));
  return n;
}

std::optional<CopyData> decode_copy_data(std::span<const std::uint8_t> d) {
  if (!is_controller_datagram(d, OP_COPY_DATA, kCopyDataPayloadOffset)) return std::nullopt;
  CopyData c;
  c.block = read_be32(d, 8);
  c.count = read_be16(d, 12);
  if (read_be32(d, 14) != c.block || c.count == 0 || c.count > kBlockSize) return std::nullopt;
  if (d.size() < kCopyDataPayloadOffset + c.count) return std::nullopt;
  c.data = d.subspan(kCopyDataPayloadOffset, c.count);
  return c;
}

std::optional<CreateRequest> decode_create_request(std::span<const std::uint8_t> d) {
  if (!is_controller_datagram(d, OP_CREATE_REQUEST, 20)) return std::nullopt;
  return CreateRequest{read_be16(d, 8), read_be16(d, 10), read_be16(d, 18)};
}

std::optional<std::uint32_t> decode_create_answer(std::span<const std::uint8_t> d, std::uint16_t opcode) {
  if (!is_controller_datagram(d, opcode, 12)) return std::nullopt;
  return read_be32(d, 8);
}

}  // namespace kestrelon::client
