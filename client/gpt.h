#pragma once
// The GUID partition table: a protective MBR (one 0xEE entry), a header at
// sector 1 followed by the partition entries, and a backup of both at the end of
// the disk (the backup header in the last sector, its entries just before it).
// Read for announces and images; rewritten when a restore puts it on a disk of
// another size or grows its last partition.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrelon::client::gpt {

inline constexpr std::uint64_t kPrimaryLba = 1;
inline constexpr std::uint8_t kProtectiveType = 0xEE;
// Tables larger than this (entry count times entry size) are taken for garbage.
inline constexpr std::uint32_t kMaxEntryBytes = 64 * 1024;

using Sector = std::array<std::uint8_t, 512>;
using Guid = std::array<std::uint8_t, 16>;

struct Header {
  std::uint32_t header_size = 0;
  std::uint64_t my_lba = 0, alternate_lba = 0, first_usable = 0, last_usable = 0, entries_lba = 0;
  std::uint32_t entry_count = 0, entry_size = 0, entries_crc = 0;
  std::uint64_t entry_sectors() const { return (std::uint64_t{entry_count} * entry_size + 511) / 512; }
};

struct Entry {
  std::uint32_t index = 0;  // 0-based slot; the partition number is index + 1
  Guid type{};
  std::uint64_t first_lba = 0, last_lba = 0;  // inclusive
  std::uint64_t attributes = 0;
  bool legacy_bootable() const { return (attributes & 4) != 0; }
};

// Whether an MBR sector is a GPT's protective MBR: an 0xEE entry in one of its slots.
bool is_protective_mbr(std::span<const std::uint8_t> mbr);

// A header sector, checked: signature, size, checksum. Nothing (with `why`) otherwise.
std::optional<Header> parse_header(std::span<const std::uint8_t> sector, std::string* why);
// The used entries of an entry array whose checksum matches the header.
std::optional<std::vector<Entry>> parse_entries(const Header& header, std::span<const std::uint8_t> bytes,
                                                std::string* why);

// The MBR type byte announced for a GPT partition type, so that the Controller
// can name it: 0xEF EFI system, 0x07 Microsoft basic data, 0x83 Linux, ...;
// 0 for types without a counterpart.
std::uint8_t type_byte(const Guid& type);
bool is_basic_data(const Guid& type);
// Swap, EFI system, Microsoft reserved, Windows recovery and BIOS boot
// partitions: sized for their job, not for data.
bool is_fixed_job(const Guid& type);

// Where a partition goes: its first and last sector (inclusive), given what they were.
using Relay = std::function<void(std::uint64_t& first_lba, std::uint64_t& last_lba)>;

// A GPT fitted to a disk of `disk_sectors`: the protective MBR's entry covering
// the disk, the primary header pointing at a backup in the last sector, the
// backup entries before it, every checksum made again. With `relay`, each
// partition goes where it says. The primary header and its entries come from
// `primary` (sector 1) and `entries` (their sectors, in order).
struct Placed {
  std::uint64_t lba = 0;
  Sector bytes{};
};
std::optional<std::vector<Placed>> fit_to_disk(const Sector& protective_mbr, const Sector& primary,
                                               std::span<const std::uint8_t> entries, std::uint64_t disk_sectors,
                                               const Relay& relay, std::string* why);

}  // namespace kestrelon::client::gpt
