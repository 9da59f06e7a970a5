#include "gpt.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "net/byte_order.h"

namespace kestrelon::client::gpt {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
constexpr std::size_t kMinHeaderSize = 92;

std::uint64_t le64(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint64_t{read_le32(b, at)} | (std::uint64_t{read_le32(b, at + 4)} << 32);
}
void put_le64(std::span<std::uint8_t> b, std::size_t at, std::uint64_t v) {
  write_le32(b, at, static_cast<std::uint32_t>(v));
  write_le32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t crc(std::span<const std::uint8_t> b) {
  return static_cast<std::uint32_t>(::crc32(0, b.data(), static_cast<uInt>(b.size())));
}

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B" as stored on disk: the first three
// fields little-endian, the rest as written.
constexpr Guid guid(const char (&text)[37]) {
  Guid g{};
  const auto hex = [](char c) -> std::uint8_t {
    return static_cast<std::uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  };
  const auto byte_at = [&](int i) { return static_cast<std::uint8_t>(hex(text[i]) << 4 | hex(text[i + 1])); };
  constexpr int order[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 16; ++i) g[static_cast<std::size_t>(i)] = byte_at(order[i]);
  return g;
}

struct KnownType {
  Guid guid;
  std::uint8_t byte;
};
constexpr Guid kBasicData = guid("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
constexpr KnownType kKnownTypes[] = {
    {guid("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), 0xEF},  // EFI system
    {kBasicData, 0x07},
    {guid("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC"), 0x27},  // Windows recovery
    {guid("0FC63DAF-8483-4772-8E79-3D69D8477DE4"), 0x83},  // Linux file system
    {guid("4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709"), 0x83},  // Linux root (x86-64)
    {guid("44479540-F297-41B2-9AF7-D131D5F0458A"), 0x83},  // Linux root (x86)
    {guid("933AC7E1-2EB4-4F13-B844-0E14E2AEF915"), 0x83},  // Linux home
    {guid("BC13C2FF-59E6-4262-A352-B275FD6F7172"), 0x83},  // Linux extended boot
    {guid("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"), 0x82},  // Linux swap
    {guid("E6D6D379-F507-44C2-A23C-238F2A3DF928"), 0x8E},  // Linux LVM
    {guid("A19D880F-05FC-4D3B-A006-743F0F84911E"), 0xFD},  // Linux RAID
};

bool fail(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

}  // namespace

bool is_protective_mbr(std::span<const std::uint8_t> mbr) {
  if (mbr.size() < 512 || mbr[510] != 0x55 || mbr[511] != 0xAA) return false;
  for (int slot = 0; slot < 4; ++slot) {
    if (mbr[446 + 16 * static_cast<std::size_t>(slot) + 4] == kProtectiveType) return true;
  }
  return false;
}

std::optional<Header> parse_header(std::span<const std::uint8_t> s, std::string* why) {
  if (s.size() < 512 || !std::equal(kSignature.begin(), kSignature.end(), s.begin())) {
    fail(why, "no GPT header signature");
    return std::nullopt;
  }
  Header h;
  h.header_size = read_le32(s, 12);
  if (h.header_size < kMinHeaderSize || h.header_size > 512) {
    fail(why, "the GPT header has an impossible size");
    return std::nullopt;
  }
  std::array<std::uint8_t, 512> copy{};
  std::copy_n(s.begin(), 512, copy.begin());
  write_le32(copy, 16, 0);
  if (crc(std::span(copy.data(), h.header_size)) != read_le32(s, 16)) {
    fail(why, "the GPT header fails its checksum");
    return std::nullopt;
  }
  h.my_lba = le64(s, 24);
  h.alternate_lba = le64(s, 32);
  h.first_usable = le64(s, 40);
  h.last_usable = le64(s, 48);
  h.entries_lba = le64(s, 72);
  h.entry_count = read_le32(s, 80);
  h.entry_size = read_le32(s, 84);
  h.entries_crc = read_le32(s, 88);
  if (h.entry_size < 128 || h.entry_size % 8 != 0 || h.entry_count == 0 ||
      std::uint64_t{h.entry_count} * h.entry_size > kMaxEntryBytes) {
    fail(why, "the GPT header describes an impossible entry array");
    return std::nullopt;
  }
  if (h.first_usable > h.last_usable + 1) {
    fail(why, "the GPT header's usable sectors are out of order");
    return std::nullopt;
  }
  return h;
}

std::optional<std::vector<Entry>> parse_entries(const Header& h, std::span<const std::uint8_t> bytes,
                                                std::string* why) {
  const std::size_t length = std::size_t{h.entry_count} * h.entry_size;
  if (bytes.size() < length || crc(bytes.first(length)) != h.entries_crc) {
    fail(why, "the GPT partition entries fail their checksum");
    return std::nullopt;
  }
  std::vector<Entry> entries;
  for (std::uint32_t i = 0; i < h.entry_count; ++i) {
    const auto e = bytes.subspan(std::size_t{i} * h.entry_size, h.entry_size);
    Entry entry;
    entry.index = i;
    std::copy_n(e.begin(), 16, entry.type.begin());
    if (std::all_of(entry.type.begin(), entry.type.end(), [](std::uint8_t b) { return b == 0; })) continue;
    entry.first_lba = le64(e, 32);
    entry.last_lba = le64(e, 40);
    entry.attributes = le64(e, 48);
    if (entry.first_lba > entry.last_lba || entry.first_lba < h.first_usable || entry.last_lba > h.last_usable) {
      fail(why, "GPT partition " + std::to_string(i + 1) + " lies outside the usable sectors");
      return std::nullopt;
    }
    entries.push_back(entry);
  }
  return entries;
}

std::uint8_t type_byte(const Guid& type) {
  for (const KnownType& k : kKnownTypes) {
    if (k.guid == type) return k.byte;
  }
  return 0;
}

bool is_basic_data(const Guid& type) { return type == kBasicData; }

bool is_fixed_job(const Guid& type) {
  static constexpr Guid kFixed[] = {
      guid("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"),  // EFI system
      guid("E3C9E316-0B5C-4DB8-817D-F92DF00215AE"),  // Microsoft reserved
      guid("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC"),  // Windows recovery
      guid("21686148-6449-6E6F-744E-656564454649"),  // BIOS boot
      guid("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"),  // Linux swap
  };
  return std::find(std::begin(kFixed), std::end(kFixed), type) != std::end(kFixed);
}

std::optional<std::vector<Placed>> fit_to_disk(const Sector& protective_mbr, const Sector& primary,
                                               std::span<const std::uint8_t> entries, std::uint64_t disk_sectors,
                                               const Relay& relay, std::string* why) {
  const auto header = parse_header(primary, why);
  if (!header) return std::nullopt;
  const std::uint64_t entry_sectors = header->entry_sectors();
  if (entries.size() < entry_sectors * 512) {
    fail(why, "the image lacks some of its GPT entry sectors");
    return std::nullopt;
  }
  const std::uint64_t last = disk_sectors - 1;
  const std::uint64_t last_usable = last - entry_sectors - 1;
  if (disk_sectors < 2 * entry_sectors + 4 || last_usable < header->first_usable) {
    fail(why, "the disk is too small for the GPT");
    return std::nullopt;
  }
  std::vector<std::uint8_t> array(entries.begin(), entries.begin() + static_cast<long>(entry_sectors * 512));
  const std::size_t length = std::size_t{header->entry_count} * header->entry_size;
  for (std::uint32_t i = 0; i < header->entry_count; ++i) {
    const std::size_t at = std::size_t{i} * header->entry_size;
    const bool used = std::any_of(array.begin() + static_cast<long>(at), array.begin() + static_cast<long>(at + 16),
                                  [](std::uint8_t b) { return b != 0; });
    if (!used) continue;
    if (relay) {
      std::uint64_t first = le64(array, at + 32), last_lba = le64(array, at + 40);
      relay(first, last_lba);
      put_le64(array, at + 32, first);
      put_le64(array, at + 40, last_lba);
    }
    if (le64(array, at + 40) > last_usable) {
      fail(why, "GPT partition " + std::to_string(i + 1) + " does not fit the disk");
      return std::nullopt;
    }
  }
  const std::uint32_t entries_crc = crc(std::span(array.data(), length));

  const auto make_header = [&](std::uint64_t mine, std::uint64_t other, std::uint64_t entries_at) {
    Sector s = primary;
    put_le64(s, 24, mine);
    put_le64(s, 32, other);
    put_le64(s, 48, last_usable);
    put_le64(s, 72, entries_at);
    write_le32(s, 88, entries_crc);
    write_le32(s, 16, 0);
    write_le32(s, 16, crc(std::span(s.data(), header->header_size)));
    return s;
  };
  std::vector<Placed> out;
  Sector mbr = protective_mbr;
  for (int slot = 0; slot < 4; ++slot) {
    const std::size_t at = 446 + 16 * static_cast<std::size_t>(slot);
    if (mbr[at + 4] != kProtectiveType) continue;
    write_le32(mbr, at + 12, static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0xFFFFFFFFu)));
  }
  out.push_back({0, mbr});
  out.push_back({kPrimaryLba, make_header(kPrimaryLba, last, header->entries_lba)});
  const std::uint64_t backup_entries = last - entry_sectors;
  for (std::uint64_t k = 0; k < entry_sectors; ++k) {
    Placed p;
    std::copy_n(array.begin() + static_cast<long>(k * 512), 512, p.bytes.begin());
    out.push_back({header->entries_lba + k, p.bytes});
    out.push_back({backup_entries + k, p.bytes});
  }
  out.push_back({last, make_header(last, kPrimaryLba, backup_entries)});
  std::sort(out.begin(), out.end(), [](const Placed& a, const Placed& b) { return a.lba < b.lba; });
  return out;
}

}  // namespace kestrelon::client::gpt
