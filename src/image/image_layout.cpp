#include "image/image_layout.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>

#include "net/byte_order.h"

namespace kestrelon::client::image {
namespace {

constexpr std::array<std::uint8_t, 4> kChunkMagic = {'C', 'H', 'N', 'K'};
// 512 TiB: no sector number in a sound header lies further out.
constexpr std::uint64_t kFarthestSector = std::uint64_t{1} << 40;

void write_le64(std::span<std::uint8_t> b, std::size_t at, std::uint64_t v) {
  write_le32(b, at, static_cast<std::uint32_t>(v));
  write_le32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint64_t read_le64(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint64_t{read_le32(b, at)} | (std::uint64_t{read_le32(b, at + 4)} << 32);
}
bool signed_here(std::span<const std::uint8_t> b) {
  return b.size() >= 4 && std::equal(kSignature.begin(), kSignature.end(), b.begin());
}

std::vector<Area> areas_of(const ImageHeader& h) {
  if (!h.areas.empty()) return h.areas;
  std::vector<Area> areas;
  for (const auto& p : h.partitions) areas.push_back(Area{p.start_lba, p.sectors});
  return areas;
}

std::size_t areas_offset(std::size_t tables) { return kTableAreaOffset + 4 + tables * kTableSectorEntry; }

// What a summary size field holds of a partition's size.
std::uint32_t summary_sectors(std::uint64_t sectors) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, 0xFFFFFFFFu));
}

// The bytes others write after the Client (the length, the description) and the
// checksum itself are left out of it.
std::uint64_t header_checksum(std::span<const std::uint8_t> header) {
  std::vector<std::uint8_t> b(header.begin(), header.end());
  std::fill_n(b.begin() + kLengthLowOffset, 8, 0);
  std::fill_n(b.begin() + kHeaderChecksumOffset, 8, 0);
  std::fill(b.begin() + kDescriptionOffset, b.begin() + kDescriptionEnd, 0);
  return XXH3_64bits(b.data(), b.size());
}

}  // namespace

std::uint32_t ImageHeader::data_offset() const {
  return static_cast<std::uint32_t>(areas_offset(table_sectors.size()) + areas_of(*this).size() * kAreaEntry);
}

std::array<std::uint8_t, kLinkPatchLength> length_patch(std::uint64_t length) {
  std::array<std::uint8_t, kLinkPatchLength> b{};
  std::copy(kSignature.begin(), kSignature.end(), b.begin());
  write_le64(b, kLengthLowOffset, length);
  return b;
}

std::vector<std::uint8_t> encode_header(const ImageHeader& h) {
  std::vector<std::uint8_t> b(h.data_offset(), 0);
  const auto patch = length_patch(h.length);
  std::copy(patch.begin(), patch.end(), b.begin());
  const std::vector<Area> areas = areas_of(h);
  write_le16(b, 12, kFormatVersion);
  write_le16(b, 14, h.flags);
  write_le32(b, 16, h.data_offset());
  write_le16(b, 20, h.level);
  write_le16(b, 22, static_cast<std::uint16_t>(h.table_sectors.size()));
  write_le64(b, 24, h.source_sectors);
  write_le32(b, 32, kChunkSize);
  write_le16(b, 36, static_cast<std::uint16_t>(areas.size()));
  b[kSummaryOffset] = 1;
  b[kPartitionCountOffset] = static_cast<std::uint8_t>(h.partitions.size());
  for (std::size_t k = 0; k < h.partitions.size(); ++k) {
    const ImagePartition& p = h.partitions[k];
    const std::size_t at = kEntriesOffset + kEntryStride * k;
    write_le32(b, at, summary_sectors(p.sectors));      // full size
    write_le32(b, at + 4, summary_sectors(p.sectors));  // data size: a partition is restored whole
    write_le64(b, at + 8, p.start_lba);
    b[at + 16] = p.number;
    b[at + 17] = p.type;
    b[at + 18] = p.boot;
    b[at + 19] = p.logical ? 1 : 0;
  }
  write_le32(b, kTableAreaOffset, static_cast<std::uint32_t>(h.table_sectors.size()));
  for (std::size_t i = 0; i < h.table_sectors.size(); ++i) {
    const std::size_t at = kTableAreaOffset + 4 + kTableSectorEntry * i;
    write_le64(b, at, h.table_sectors[i].lba);
    std::copy(h.table_sectors[i].bytes.begin(), h.table_sectors[i].bytes.end(), b.begin() + static_cast<long>(at + 8));
  }
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const std::size_t at = areas_offset(h.table_sectors.size()) + kAreaEntry * i;
    write_le64(b, at, areas[i].start_lba);
    write_le64(b, at + 8, areas[i].sectors);
  }
  write_le64(b, kHeaderChecksumOffset, header_checksum(b));
  return b;
}

std::optional<std::uint64_t> probe_length(std::span<const std::uint8_t> b) {
  if (b.size() < kLinkPatchLength || !signed_here(b)) return std::nullopt;
  return read_le64(b, kLengthLowOffset);
}

HeaderParse parse_header(std::span<const std::uint8_t> b) {
  HeaderParse r;
  const auto invalid = [&](std::string why) {
    r.state = HeaderParse::State::invalid;
    r.error = std::move(why);
    return r;
  };
  constexpr std::size_t kFixedFields = 38;
  if (b.size() < kFixedFields) {
    r.needed = kFixedFields;
    return r;
  }
  if (!signed_here(b)) return invalid("not an image of this Client (no KRNI signature)");
  const std::uint16_t version = read_le16(b, 12);
  if (version < 1 || version > kFormatVersion) {
    return invalid("image format version " + std::to_string(version) + " is not known");
  }
  const std::uint32_t data_offset = read_le32(b, 16);
  const std::size_t tables = read_le16(b, 22);
  const std::size_t area_count = version == 1 ? 0 : read_le16(b, 36);
  if (tables > kMaxTableSectors || area_count > kMaxAreas ||
      data_offset != areas_offset(tables) + area_count * kAreaEntry) {
    return invalid("the image header is damaged (data offset " + std::to_string(data_offset) + ")");
  }
  if (read_le32(b, 32) != kChunkSize) return invalid("the image uses an unknown chunk size");
  if (b.size() < data_offset) {
    r.needed = data_offset;
    return r;
  }
  if (version >= 3 && read_le64(b, kHeaderChecksumOffset) != header_checksum(b.first(data_offset))) {
    return invalid("the image header is damaged (it fails its checksum)");
  }
  ImageHeader& h = r.header;
  h.version = version;
  h.length = read_le64(b, kLengthLowOffset);
  h.flags = read_le16(b, 14);
  h.level = read_le16(b, 20);
  h.source_sectors = read_le64(b, 24);
  const int count = b[kPartitionCountOffset];
  if (count > kMaxPartitions) return invalid("the image claims " + std::to_string(count) + " partitions");
  for (int k = 0; k < count; ++k) {
    const std::size_t at = kEntriesOffset + kEntryStride * static_cast<std::size_t>(k);
    ImagePartition p;
    p.sectors = read_le32(b, at);
    p.start_lba = read_le64(b, at + 8);
    p.number = b[at + 16];
    p.type = b[at + 17];
    p.boot = b[at + 18];
    p.logical = b[at + 19] != 0;
    if (p.start_lba > kFarthestSector) return invalid("partition " + std::to_string(k) + " starts too far out");
    h.partitions.push_back(p);
  }
  if (read_le32(b, kTableAreaOffset) != tables) return invalid("the image's table area is damaged");
  for (std::size_t i = 0; i < tables; ++i) {
    const std::size_t at = kTableAreaOffset + 4 + kTableSectorEntry * i;
    TableSector t;
    t.lba = read_le64(b, at);
    if (t.lba > kFarthestSector) return invalid("a table sector lies too far out");
    std::copy_n(b.begin() + static_cast<long>(at + 8), 512, t.bytes.begin());
    h.table_sectors.push_back(t);
  }
  for (std::size_t i = 0; i < area_count; ++i) {
    const std::size_t at = areas_offset(tables) + kAreaEntry * i;
    const Area a{read_le64(b, at), read_le64(b, at + 8)};
    if (a.start_lba > kFarthestSector || a.sectors > kFarthestSector) return invalid("an area lies too far out");
    h.areas.push_back(a);
  }
  h.areas = areas_of(h);
  r.state = HeaderParse::State::ok;
  return r;
}

std::array<std::uint8_t, kChunkHeadSize> encode_chunk_head(const ChunkHead& c) {
  std::array<std::uint8_t, kChunkHeadSize> b{};
  std::copy(kChunkMagic.begin(), kChunkMagic.end(), b.begin());
  b[4] = c.partition;
  b[5] = c.method;
  write_le64(b, 8, c.offset);
  write_le32(b, 16, c.raw_length);
  write_le32(b, 20, c.stored_length);
  write_le64(b, 24, c.checksum);
  return b;
}

std::optional<ChunkHead> decode_chunk_head(std::span<const std::uint8_t> b, std::uint16_t version,
                                           std::string* error) {
  const auto fail = [&](const char* why) {
    if (error) *error = why;
    return std::nullopt;
  };
  if (b.size() < kChunkHeadSize) return fail("a chunk head is cut short");
  if (!std::equal(kChunkMagic.begin(), kChunkMagic.end(), b.begin())) return fail("a chunk head is damaged");
  ChunkHead c;
  c.partition = b[4];
  c.method = b[5];
  c.offset = read_le64(b, 8);
  c.raw_length = read_le32(b, 16);
  c.stored_length = read_le32(b, 20);
  c.checksum = version >= 3 ? read_le64(b, 24) : read_le32(b, 24);
  if (c.is_end()) return c;
  if (c.method > (version >= 3 ? kZstd : kZlib)) return fail("a chunk uses an unknown method");
  if (c.raw_length == 0 || c.raw_length > kChunkSize) return fail("a chunk has an impossible length");
  if (c.method == kStored ? c.stored_length != c.raw_length : c.stored_length > c.raw_length) {
    return fail("a chunk's stored length does not fit its method");
  }
  return c;
}

}  // namespace kestrelon::client::image
