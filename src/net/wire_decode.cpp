#include "net/wire_decode.h"

#include <algorithm>
#include <cstring>

#include "net/byte_order.h"
#include "net/wire_format.h"

namespace kestrelon::wire {

bool has_magic(std::span<const std::uint8_t> d) { return d.size() >= 2 && read_be16(d, 0) == kMagic; }

std::optional<Header> decode_header(std::span<const std::uint8_t> d) {
  if (d.size() < kHeaderLength) return std::nullopt;
  return Header{read_be16(d, 0), read_be16(d, 2), read_be16(d, 4), read_be16(d, 6)};
}

std::optional<CopyAck> decode_copy_ack(std::span<const std::uint8_t> d) {
  if (d.size() < kCopyAckMinLength) return std::nullopt;
  return CopyAck{read_be32(d, 8), Ipv4Address(read_be32(d, 12)), read_be32(d, 16), read_be32(d, 20)};
}

std::optional<CopyNak> decode_copy_nak(std::span<const std::uint8_t> d) {
  if (d.size() < kCopyNakMinLength) return std::nullopt;
  return CopyNak{read_be32(d, 8), read_be32(d, 12), read_be32(d, 16)};
}

std::optional<CopyDone> decode_copy_done(std::span<const std::uint8_t> d) {
  if (d.size() < kCopyDoneMinLength) return std::nullopt;
  CopyDone done{Ipv4Address(read_be32(d, 8)), {}};
  // The records, as far as they arrived whole.
  for (std::size_t at = kCopyDoneRecordsOffset; d.size() - at >= kCopyDoneRecordHead;) {
    const std::uint16_t kind = read_be16(d, at + 2), length = read_be16(d, at + 4);
    if (read_be16(d, at) != kMagic || kind == 0 || d.size() - at - kCopyDoneRecordHead < length) break;
    const auto value = d.subspan(at + kCopyDoneRecordHead, length);
    at += kCopyDoneRecordHead + length;
    if (kind != kCopyDoneReport || !done.report.empty()) continue;
    const std::string text(value.begin(), value.begin() + static_cast<long>(std::min(value.size(), kMaxCopyDoneReport)));
    for (std::size_t from = 0; from <= text.size();) {
      const std::size_t end = std::min(text.find('\n', from), text.size());
      if (end > from) done.report.push_back(text.substr(from, end - from));
      from = end + 1;
    }
  }
  return done;
}

std::optional<CopyNameAnswer> decode_copy_name_answer(std::span<const std::uint8_t> d) {
  if (d.size() < kNameAnswerTextOffset) return std::nullopt;
  const std::uint16_t answer = read_be16(d, 12), outcome = read_be16(d, 14), length = read_be16(d, 80);
  if (answer < 1 || answer > 3 || outcome > 3 || length > kNameReportTextMax ||
      d.size() - kNameAnswerTextOffset < length) {
    return std::nullopt;
  }
  CopyNameAnswer a;
  a.client = Ipv4Address(read_be32(d, 8));
  a.answer = static_cast<NameAnswer>(answer);
  a.outcome = static_cast<NamingOutcome>(outcome);
  const auto name = d.subspan(kComputerNameOffset, kComputerNameField);
  a.computer_name.assign(name.begin(), std::find(name.begin(), name.end(), std::uint8_t{0}));
  a.text.assign(d.begin() + kNameAnswerTextOffset, d.begin() + kNameAnswerTextOffset + length);
  return a;
}

std::optional<CreateData> decode_create_data(std::span<const std::uint8_t> d) {
  if (d.size() < kCreateDataHeadLength) return std::nullopt;
  const std::uint16_t count = read_be16(d, 12);
  if (d.size() - kCreateDataHeadLength < count) return std::nullopt;
  return CreateData{read_be32(d, 8), read_be32(d, 14), read_be32(d, 18),
                    d.subspan(kCreateDataHeadLength, count), d.subspan(kCreateDataHeadLength + count)};
}

std::string Announce::name_text() const {
  const auto end = std::find(name.begin(), name.end(), '\0');
  return std::string(name.begin(), end);
}

namespace {

PartitionEntry decode_partition(std::span<const std::uint8_t> e) {
  PartitionEntry p;
  p.number = e[0];
  p.boot = e[1];
  p.type = e[2];
  p.logical = e[3];
  p.first_extra = read_be32(e, 6);
  p.size_sectors = read_be32(e, 10);
  p.second_extra = read_be32(e, 14);
  return p;
}

}  // namespace

std::optional<Announce> decode_announce(std::span<const std::uint8_t> d) {
  if (d.size() < kAnnounceHeadLength) return std::nullopt;
  Announce a;
  a.address = Ipv4Address(read_be32(d, 8));
  std::memcpy(a.name.data(), d.data() + 12, a.name.size());
  const int claimed = std::min<int>(read_be16(d, 52), kMaxDisks);
  for (int i = 0; i < claimed; ++i) {
    const std::size_t base = kAnnounceHeadLength + kDiskBlockLength * static_cast<std::size_t>(i);
    if (d.size() < base + kDiskHeadLength) break;
    const auto block = d.subspan(base);
    DiskEntry disk;
    disk.bios_number = read_be16(block, 0);
    disk.geometry1 = read_be16(block, 2);
    disk.geometry2 = read_be16(block, 4);
    disk.geometry3 = read_be16(block, 6);
    disk.partition_count = std::min<int>(read_be16(block, 8), kMaxPartitions);
    disk.size_sectors = read_be32(block, 10);
    const std::size_t needed =
        kDiskHeadLength + kPartitionEntryLength * static_cast<std::size_t>(disk.partition_count);
    if (block.size() < needed) break;
    for (int p = 0; p < disk.partition_count; ++p) {
      disk.partitions[static_cast<std::size_t>(p)] =
          decode_partition(block.subspan(kDiskHeadLength + kPartitionEntryLength * static_cast<std::size_t>(p)));
    }
    a.disks[static_cast<std::size_t>(i)] = disk;
    a.disk_count = i + 1;
  }
  return a;
}

}  // namespace kestrelon::wire
