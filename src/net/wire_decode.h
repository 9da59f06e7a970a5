#pragma once
// Decoders for the datagrams the Controller receives. Each takes the received
// bytes and never reads past them: a datagram too short for its fixed fields is
// refused (nullopt), and an announce keeps only what arrived whole.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/disk_layout.h"
#include "net/wire_format.h"
#include "platform/ipv4_address.h"

namespace kestrelon::wire {

struct Header {
  std::uint16_t magic = 0;
  std::uint16_t version = 0;
  std::uint16_t constant = 0;
  std::uint16_t opcode = 0;
};

// True when the datagram starts with the magic cookie 9544.
bool has_magic(std::span<const std::uint8_t> datagram);
std::optional<Header> decode_header(std::span<const std::uint8_t> datagram);

struct CopyAck {
  std::uint32_t block = 0;
  Ipv4Address client;
  std::uint32_t done_kib = 0;
  std::uint32_t total_kib = 0;
};
inline constexpr std::size_t kCopyAckMinLength = 24;
std::optional<CopyAck> decode_copy_ack(std::span<const std::uint8_t> datagram);

struct CopyNak {
  std::uint32_t block = 0;
  std::uint32_t done_kib = 0;
  std::uint32_t total_kib = 0;
};
inline constexpr std::size_t kCopyNakMinLength = 20;
std::optional<CopyNak> decode_copy_nak(std::span<const std::uint8_t> datagram);

struct CopyDone {
  Ipv4Address client;
  // The Client's report record, one entry per line (wire_format.h); empty when
  // it sent none. Lines are kept as sent: shown text must be made printable.
  std::vector<std::string> report;
};
inline constexpr std::size_t kCopyDoneMinLength = 12;
std::optional<CopyDone> decode_copy_done(std::span<const std::uint8_t> datagram);

// A Client's answer to OP_COPY_NAME: 8 its address, 12 the answer, 14 the
// naming outcome (reports), 16 the name (64 bytes, NUL-terminated), 80 the
// text's length, 82 the text (UTF-8, at most kNameReportTextMax bytes).
struct CopyNameAnswer {
  Ipv4Address client;
  NameAnswer answer = NameAnswer::taken;
  NamingOutcome outcome = NamingOutcome::not_asked;
  std::string computer_name;
  std::string text;
};
// Refuses an unknown answer or outcome and a text running past the datagram.
std::optional<CopyNameAnswer> decode_copy_name_answer(std::span<const std::uint8_t> datagram);

struct CreateData {
  std::uint32_t block = 0;
  std::uint32_t done_kib = 0;
  std::uint32_t total_kib = 0;
  std::span<const std::uint8_t> data;  // `count` bytes, inside the datagram
  std::span<const std::uint8_t> after_data;  // the datagram's bytes after them
};
inline constexpr std::size_t kCreateDataHeadLength = 22;
// Refused when the count claims more bytes than arrived: using a shorter slice
// would silently corrupt the upload stream, while a refusal makes the Client send
// the block again.
std::optional<CreateData> decode_create_data(std::span<const std::uint8_t> datagram);

struct Announce {
  Ipv4Address address;
  std::array<char, 40> name{};  // NUL-terminated unless all 40 bytes are used
  int disk_count = 0;           // 0 to 4
  std::array<DiskEntry, kMaxDisks> disks{};

  std::string name_text() const;
};
inline constexpr std::size_t kAnnounceHeadLength = 54;
inline constexpr std::size_t kDiskBlockLength = 302;
inline constexpr std::size_t kDiskHeadLength = 14;
inline constexpr std::size_t kPartitionEntryLength = 24;
// Claimed counts are limited to 4 disks and 12 partitions. A disk is kept only
// when its head and all of its (limited) partition entries arrived; the first disk
// that did not arrive whole ends the list. Shorter than the 54-byte head: refused.
std::optional<Announce> decode_announce(std::span<const std::uint8_t> datagram);

}  // namespace kestrelon::wire
