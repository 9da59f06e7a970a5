#pragma once
// The datagrams the Controller sends: constants, header, trailer and one builder
// per opcode. Every integer on the wire is big-endian; addresses travel as their
// four octets in order.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/ipv4_address.h"

namespace kestrelon::wire {

inline constexpr std::uint16_t kMagic = 9544;  // 0x2548
inline constexpr std::uint16_t kPacketVersion = 8;
inline constexpr std::uint16_t kHeaderConstant = 3;

inline constexpr std::uint16_t kControlPort = 4747;
inline constexpr std::uint16_t kDataPort = 4848;
inline constexpr Ipv4Address kControlGroup{234, 42, 42, 42};
inline constexpr Ipv4Address kDataGroup{234, 142, 142, 142};

inline constexpr std::size_t kHeaderLength = 8;
inline constexpr std::size_t kTrailerLength = 4;
inline constexpr std::size_t kBlockSize = 1350;
inline constexpr std::size_t kReceiveBufferSize = 1600;

enum Opcode : std::uint16_t {
  OP_DISCOVER = 0,
  OP_COPY_START = 1,
  OP_COPY_DATA = 2,
  OP_COPY_ACK = 3,
  OP_COPY_NAK = 4,
  OP_ANNOUNCE = 5,
  OP_COPY_DONE = 6,
  OP_ACKER = 7,
  OP_COPY_READY = 8,
  OP_CREATE_REQUEST = 10,
  OP_COPY_NAME = 12,
  OP_CREATE_ACK = 16,
  OP_CREATE_NAK = 17,
  OP_CREATE_DATA = 18,
  OP_ABORT = 19,
};

// Lengths of the datagrams the Controller sends, trailer included.
inline constexpr std::size_t kDiscoverLength = 18;
inline constexpr std::size_t kCopyStartLength = 110;
inline constexpr std::size_t kCopyDataLength = 1376;
inline constexpr std::size_t kAckerLength = 12;
inline constexpr std::size_t kCreateRequestLength = 24;
inline constexpr std::size_t kCreateAckLength = 16;
inline constexpr std::size_t kCreateNakLength = 16;
inline constexpr std::size_t kAbortLength = 12;

// Field offsets used by more than one place.
inline constexpr std::size_t kDiscoverAddressOffset = 8;
inline constexpr std::size_t kCopyStartNameOffset = 18;
inline constexpr std::size_t kCopyStartNameField = 80;  // 79 characters and a NUL
inline constexpr std::size_t kCopyStartDiskOffset = 98;
inline constexpr std::size_t kCopyDataPayloadOffset = 22;

// OP_COPY_NAME, an extension beside the specified datagrams: the computer name
// a target writes into the copied system after a whole copy, sent to it with its
// OP_COPY_START (a Client that does not know the opcode ignores it). Layout:
// 8 the target's address, 12 its selected disk, 14 zero, 16 the name (64 bytes,
// NUL-terminated; empty: keep the copied system's name), 80 trailer. It names
// its Client and disk, so it stands on its own, as a signed order needs.
// The Client answers with the same opcode (wire_decode.h: CopyNameAnswer).
inline constexpr std::size_t kCopyNameLength = 84;
inline constexpr std::size_t kComputerNameOffset = 16;
inline constexpr std::size_t kComputerNameField = 64;
// What the Client's answer says.
enum class NameAnswer : std::uint16_t {
  taken = 1,    // the name will be written after a whole copy
  refused = 2,  // not a computer name: nothing will be written
  report = 3,   // the copy has ended: what was done after it
};
// A report's outcome for the name.
enum class NamingOutcome : std::uint16_t { not_asked = 0, named = 1, left_as_is = 2, failed = 3 };
// The report's text (its log lines joined by line breaks) at most.
inline constexpr std::size_t kNameReportTextMax = 1200;
inline constexpr std::size_t kNameAnswerTextOffset = 82;

// Option flags of OP_COPY_START and OP_CREATE_REQUEST.
inline constexpr std::uint16_t kFlagKeepPartitionSize = 1;
inline constexpr std::uint16_t kFlagUniqueSid = 2;
inline constexpr std::uint16_t kFlagSectorBySector = 4;

// A Client may add records to OP_COPY_DONE after its fixed fields (bytes the
// plain protocol leaves unread), each: 9544 (2), kind (2), length N (2), N bytes.
// A kind of 0 (a plain trailer, 9544 0) ends them; unknown kinds are skipped.
inline constexpr std::size_t kCopyDoneRecordsOffset = 12;
inline constexpr std::size_t kCopyDoneRecordHead = 6;
// Kind 1: what the Client did beside writing the image (a larger disk's layout),
// UTF-8 lines joined by '\n'.
inline constexpr std::uint16_t kCopyDoneReport = 1;
inline constexpr std::size_t kMaxCopyDoneReport = 1024;

void write_header(std::span<std::uint8_t> datagram, Opcode opcode);
void write_trailer(std::span<std::uint8_t> datagram, std::size_t at);

// The opcode word of a datagram of at least 8 bytes.
std::uint16_t opcode_of(std::span<const std::uint8_t> datagram);

std::array<std::uint8_t, kDiscoverLength> build_discover(Ipv4Address interface_address);
// Rewrites the interface address of an OP_DISCOVER (done per interface at send time).
void set_discover_address(std::span<std::uint8_t> datagram, Ipv4Address interface_address);

struct CopyStartFields {
  std::uint64_t image_length = 0;  // bytes; sent in KiB (shifted right by 10)
  std::string_view file_name;      // without folder; cut to 79 bytes
  std::uint16_t disk = 0;          // the target's selected disk
  std::uint16_t flags = 0;
};
std::array<std::uint8_t, kCopyStartLength> build_copy_start(const CopyStartFields& fields);
// Rewrites the selected-disk word (the packet is built once and sent to each target).
void set_copy_start_disk(std::span<std::uint8_t> datagram, std::uint16_t disk);
// The name as it is put into the 80-byte field: at most 79 bytes, never ending
// inside a UTF-8 sequence.
std::string_view cut_file_name(std::string_view name);

// An OP_COPY_DATA datagram kept whole, so the image file can be read straight
// into its data field and no copy is made per block.
class CopyDataPacket {
 public:
  CopyDataPacket();
  std::span<std::uint8_t, kBlockSize> payload() {
    return std::span<std::uint8_t, kBlockSize>(bytes_.data() + kCopyDataPayloadOffset, kBlockSize);
  }
  // Writes the block number and valid count and zeroes the data past the count.
  void seal(std::uint32_t block, std::uint16_t count);
  std::span<const std::uint8_t> bytes() const { return bytes_; }

 private:
  std::array<std::uint8_t, kCopyDataLength> bytes_{};
};

struct CopyNameFields {
  Ipv4Address target;
  std::uint16_t disk = 0;
  std::string_view computer_name;  // cut to 63 bytes
};
std::array<std::uint8_t, kCopyNameLength> build_copy_name(const CopyNameFields& fields);

std::array<std::uint8_t, kAckerLength> build_acker();
std::array<std::uint8_t, kAbortLength> build_abort();
std::array<std::uint8_t, kCreateRequestLength> build_create_request(std::uint16_t compression_level,
                                                                    std::uint16_t disk,
                                                                    std::uint16_t flags);
std::array<std::uint8_t, kCreateAckLength> build_create_ack(std::uint32_t block);
std::array<std::uint8_t, kCreateNakLength> build_create_nak(std::uint32_t expected_block);

}  // namespace kestrelon::wire
