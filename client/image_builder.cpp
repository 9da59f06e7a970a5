#include "image_builder.h"

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
    h.partitions.push_back(image::ImagePartition{p.number, p.type, p.boot, p.logical, p.start_lba, p.sectors});
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

ImageBuilder::ImageBuilder(std::unique_ptr<DiskDevice> disk, BuildRequest request)
    : disk_(std::move(disk)),
      request_(request),
      // Stored chunks are packed on this thread: their checksum costs less than
      // handing them to a worker and back.
      packer_(PackSettings{request.level, request.method, request.sector_by_sector},
              request.level == 0 ? 1 : request.threads == 0 ? ChunkPacker::default_threads() : request.threads) {}

bool ImageBuilder::read_chunk(RawChunk& chunk) {
  while (partition_ < header_.areas.size()) {
    const image::Area& p = header_.areas[partition_];
    const std::uint64_t size = p.sectors * kSectorSize;
    if (offset_ >= size) {
      ++partition_;
      offset_ = 0;
      continue;
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(image::kChunkSize, size - offset_));
    if (const std::uint64_t hole = hole_ahead(p.start_lba * kSectorSize + offset_, n); hole > 0) {
      // Zeros all of it, left out anyway: passed over unread, and counted as read.
      const std::uint64_t skip = std::min(hole, size - offset_);
      offset_ += skip;
      read_ += skip;
      continue;
    }
    chunk.raw.resize(n);
    chunk.error.clear();
    chunk.head = image::ChunkHead{};
    chunk.head.partition = static_cast<std::uint8_t>(partition_);
    chunk.head.offset = offset_;
    chunk.head.raw_length = n;
    if (!disk_->read_at(p.start_lba * kSectorSize + offset_, chunk.raw)) {
      // Reported when this chunk's turn comes, after the chunks before it.
      chunk.error = "reading sector " + std::to_string(p.start_lba + offset_ / kSectorSize) + " of " + disk_->path() +
                    " failed: " + std::strerror(errno);
      partition_ = header_.areas.size();
      return true;
    }
    offset_ += n;
    read_ += n;
    return true;
  }
  return false;
}

std::uint64_t ImageBuilder::hole_ahead(std::uint64_t at, std::uint32_t chunk) {
  if (request_.sector_by_sector || !holes_known_) return 0;
  if (at >= data_end_ || at < data_from_) {
    data_from_ = at;
    const auto extent = disk_->data_extent(at);
    if (!extent) {
      holes_known_ = false;  // a block device, or a file system that cannot tell
      return 0;
    }
    data_start_ = extent->first;
    data_end_ = extent->second;
  }
  if (data_start_ < at + chunk) return 0;
  return (data_start_ - at) / image::kChunkSize * image::kChunkSize;
}

bool ImageBuilder::next(std::vector<std::uint8_t>& out, Clock::time_point give_back_at) {
  if (failed()) return false;
  if (stage_ == Stage::header) {
    const auto bytes = image::encode_header(header_);  // length 0: patched at the end
    out.insert(out.end(), bytes.begin(), bytes.end());
    produced_ += bytes.size();
    stage_ = Stage::chunks;
    return true;
  }
  while (stage_ == Stage::chunks) {
    // Read ahead while there is room, so every worker has a chunk to pack.
    while (!packer_.full() && read_chunk(raw_)) packer_.submit(raw_);
    if (packer_.pending() == 0) {
      stage_ = Stage::end;
      break;
    }
    packer_.take(packed_);
    if (!packed_.error.empty()) {
      error_ = packed_.error;
      return false;
    }
    if (packed_.left_out) {
      if (Clock::now() >= give_back_at) return true;
      continue;
    }
    out.insert(out.end(), packed_.bytes.begin(), packed_.bytes.end());
    produced_ += packed_.bytes.size();
    ++chunks_;
    return true;
  }
  if (stage_ == Stage::end) {
    image::ChunkHead end;
    end.partition = image::kEndChunk;
    end.offset = chunks_;
    const auto h = image::sealed_head(end, {});
    out.insert(out.end(), h.begin(), h.end());
    produced_ += h.size();
    stage_ = Stage::done;
    return true;
  }
  return false;
}

}  // namespace kestrelon::client
