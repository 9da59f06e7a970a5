#include "image_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrelon::client {

namespace {

// Where the chunks come from. Sector by sector: everything from sector 0 to the
// end of what the table describes (the whole disk when it has no table; a GPT's
// backup is kept as table sectors). Otherwise every partition, and the room
// between the table and the first partition, where boot loaders live (a BIOS
// boot loader's second stage lies there on MBR disks).
std::vector<image::Area> areas_to_read(const PartitionTable& table, std::uint64_t disk_sectors, bool every_sector) {
  constexpr std::uint64_t kBootRoom = 2048;
  std::vector<image::Area> areas;
  if (every_sector) {
    const std::uint64_t end = table.kind == TableKind::none ? disk_sectors : std::min(table.extent, disk_sectors);
    if (end > 0) areas.push_back({0, end});
    return areas;
  }
  std::uint64_t first = table.extent;
  for (const Partition& p : table.partitions) first = std::min(first, p.start_lba);
  const std::uint64_t after_table =
      table.kind == TableKind::gpt ? table.table_sectors[table.table_sectors.size() - table.gpt_tail - 1] + 1 : 1;
  if (table.kind != TableKind::none && first > after_table) {
    areas.push_back({after_table, std::min(first - after_table, kBootRoom)});
  }
  for (const Partition& p : table.partitions) areas.push_back({p.start_lba, p.sectors});
  std::sort(areas.begin(), areas.end(),
            [](const image::Area& a, const image::Area& b) { return a.start_lba < b.start_lba; });
  return areas;
}

}  // namespace

std::unique_ptr<ImageBuilder> ImageBuilder::open(std::unique_ptr<DiskDevice> disk, BuildRequest request,
                                                 std::string* error) {
  auto table = disk->partition_table(error);
  if (!table) return nullptr;
  if (table->table_sectors.size() > image::kMaxTableSectors) {
    if (error) *error = disk->path() + " has more partition table sectors than an image can keep";
    return nullptr;
  }
  std::unique_ptr<ImageBuilder> b(new ImageBuilder(std::move(disk), request));
  image::ImageHeader& h = b->header_;
  h.flags = static_cast<std::uint16_t>((request.sector_by_sector ? image::kFlagAllChunks : 0) |
                                       (table->kind == TableKind::gpt ? image::kFlagGpt : 0));
  h.level = static_cast<std::uint16_t>(request.level);
  h.source_sectors = b->disk_->sectors();
  // Like the announce, the summary lists the first 12 partitions; the areas
  // carry them all.
  const std::size_t count = std::min<std::size_t>(table->partitions.size(), image::kMaxPartitions);
  for (std::size_t i = 0; i < count; ++i) {
    const Partition& p = table->partitions[i];
    if (p.sectors > 0xFFFFFFFFu) {
      if (error) *error = "partition " + std::to_string(p.number) + " of " + b->disk_->path() + " is too large to image";
      return nullptr;
    }
    h.partitions.push_back(image::ImagePartition{p.number, p.type, p.boot, p.logical, p.start_lba,
                                                 static_cast<std::uint32_t>(p.sectors)});
  }
  h.areas = areas_to_read(*table, h.source_sectors, request.sector_by_sector);
  if (h.areas.size() > image::kMaxAreas) {
    if (error) *error = b->disk_->path() + " has more partitions than an image can keep";
    return nullptr;
  }
  for (const image::Area& a : h.areas) b->total_ += a.sectors * kSectorSize;
  for (const std::uint64_t lba : table->table_sectors) {
    image::TableSector t;
    t.lba = lba;
    if (!b->disk_->read_at(lba * kSectorSize, t.bytes)) {
      if (error) *error = "cannot read sector " + std::to_string(lba) + " of " + b->disk_->path();
      return nullptr;
    }
    h.table_sectors.push_back(t);
  }
  return b;
}

bool ImageBuilder::next(std::vector<std::uint8_t>& out) {
  if (failed()) return false;
  if (stage_ == Stage::header) {
    const auto bytes = image::encode_header(header_);  // length 0: patched at the end
    out.insert(out.end(), bytes.begin(), bytes.end());
    produced_ += bytes.size();
    stage_ = Stage::chunks;
    return true;
  }
  while (stage_ == Stage::chunks) {
    if (partition_ >= header_.areas.size()) {
      stage_ = Stage::end;
      break;
    }
    const image::Area& p = header_.areas[partition_];
    const std::uint64_t size = p.sectors * kSectorSize;
    if (offset_ >= size) {
      ++partition_;
      offset_ = 0;
      continue;
    }
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(image::kChunkSize, size - offset_));
    raw_.resize(n);
    if (!disk_->read_at(p.start_lba * kSectorSize + offset_, raw_)) {
      error_ = "reading sector " + std::to_string(p.start_lba + offset_ / kSectorSize) + " of " + disk_->path() +
               " failed: " + std::strerror(errno);
      return false;
    }
    image::ChunkHead head;
    head.partition = static_cast<std::uint8_t>(partition_);
    head.offset = offset_;
    head.raw_length = n;
    offset_ += n;
    read_ += n;
    if (!request_.sector_by_sector && std::all_of(raw_.begin(), raw_.end(), [](std::uint8_t b) { return b == 0; })) {
      continue;
    }
    head.crc = static_cast<std::uint32_t>(::crc32(0, raw_.data(), n));
    std::span<const std::uint8_t> stored = raw_;
    if (request_.level > 0) {
      uLongf packed_length = ::compressBound(n);
      packed_.resize(packed_length);
      if (::compress2(packed_.data(), &packed_length, raw_.data(), n, std::clamp(request_.level, 1, 9)) == Z_OK &&
          packed_length < n) {
        head.method = 1;
        stored = std::span(packed_.data(), packed_length);
      }
    }
    head.stored_length = static_cast<std::uint32_t>(stored.size());
    const auto h = image::encode_chunk_head(head);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), stored.begin(), stored.end());
    produced_ += h.size() + stored.size();
    return true;
  }
  if (stage_ == Stage::end) {
    image::ChunkHead end;
    end.partition = image::kEndChunk;
    const auto h = image::encode_chunk_head(end);
    out.insert(out.end(), h.begin(), h.end());
    produced_ += h.size();
    stage_ = Stage::done;
    return true;
  }
  return false;
}

}  // namespace kestrelon::client
