#pragma once
// The Client's half of the wire protocol: encoders of what a Client sends and
// decoders of what the Controller sends. Only constants and byte helpers are
// shared with the Controller's code, so a test that runs these encoders through
// the Controller's decoders checks both sides against each other.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/disk_layout.h"
#include "net/wire_format.h"
#include "platform/ipv4_address.h"

namespace kestrelon::client {

using Datagram = std::vector<std::uint8_t>;

// ---- encoders (Client to Controller) ---------------------------------------

struct AnnounceFields {
  Ipv4Address address;
  std::string_view name;  // cut to 40 bytes; NUL-terminated when shorter
  std::span<const DiskEntry> disks;  // at most 4 are sent, 12 partitions each
};
Datagram encode_announce(const AnnounceFields& fields);

Datagram encode_copy_ack(std::uint32_t block, Ipv4Address self, std::uint32_t done_kib, std::uint32_t total_kib);
Datagram encode_copy_nak(std::uint32_t block, std::uint32_t done_kib, std::uint32_t total_kib);
// With `report` (lines of what the restore did), the report record after the
// fixed fields, cut at a line to the record's bound.
Datagram encode_copy_done(Ipv4Address self, const std::vector<std::string>& report = {});
Datagram encode_copy_ready();

// The answer to OP_COPY_NAME; `text` is cut to what the field holds, never
// inside a UTF-8 character.
struct CopyNameAnswerFields {
  Ipv4Address self;
  wire::NameAnswer answer = wire::NameAnswer::taken;
  wire::NamingOutcome outcome = wire::NamingOutcome::not_asked;
  std::string_view computer_name;
  std::string_view text;
};
Datagram encode_copy_name_answer(const CopyNameAnswerFields& fields);

inline constexpr std::size_t kCreateDataHead = 22;
Datagram encode_create_data(std::uint32_t block, std::span<const std::uint8_t> data, std::uint32_t done_kib,
                            std::uint32_t total_kib);

// ---- decoders (Controller to Client) ----------------------------------------
// Each refuses (nullopt) a datagram without the magic cookie, with another
// opcode, or too short for its fields; none reads past the received length.

std::optional<std::uint16_t> opcode_of_controller_datagram(std::span<const std::uint8_t> d);

struct Discover {
  Ipv4Address reply_address;
  std::uint16_t reply_port = 0;
};
std::optional<Discover> decode_discover(std::span<const std::uint8_t> d);

struct CopyStart {
  Ipv4Address data_group;
  std::uint16_t data_port = 0;
  std::uint32_t image_kib = 0;
  std::string file_name;
  std::uint16_t disk = 0;
  std::uint16_t flags = 0;
  bool operator==(const CopyStart&) const = default;
};
std::optional<CopyStart> decode_copy_start(std::span<const std::uint8_t> d);

struct CopyName {
  Ipv4Address target;
  std::uint16_t disk = 0;
  std::string computer_name;  // empty: keep the copied system's name
};
std::optional<CopyName> decode_copy_name(std::span<const std::uint8_t> d);

struct CopyData {
  std::uint32_t block = 0;
  std::uint16_t count = 0;  // valid bytes, at most 1350
  std::span<const std::uint8_t> data;  // `count` bytes inside the datagram
};
// Refused when the two block-number fields disagree or the count is 0 or above
// 1350: such a block cannot be placed safely.
std::optional<CopyData> decode_copy_data(std::span<const std::uint8_t> d);

struct CreateRequest {
  std::uint16_t level = 0;
  std::uint16_t disk = 0;
  std::uint16_t flags = 0;
  friend bool operator==(const CreateRequest&, const CreateRequest&) = default;
};
std::optional<CreateRequest> decode_create_request(std::span<const std::uint8_t> d);

// OP_CREATE_ACK and OP_CREATE_NAK both carry one block number.
std::optional<std::uint32_t> decode_create_answer(std::span<const std::uint8_t> d, std::uint16_t opcode);

}  // namespace kestrelon::client
