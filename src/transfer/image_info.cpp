#include "transfer/image_info.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "net/byte_order.h"
#include "transfer/image_file.h"

namespace kestrelon {

namespace {

// kestrelon-client's own fields: its signature and recorded length at the start
// of the header, the partition number and type after the two sizes of an entry.
constexpr std::array<std::uint8_t, 4> kClientSignature = {'K', 'R', 'N', 'I'};
constexpr std::size_t kRecordedLengthOffset = 4;
constexpr std::size_t kNumberInEntry = 16;
constexpr std::size_t kTypeInEntry = 17;

std::string sizes_problem(const ImagePartitionInfo& p, std::size_t index) {
  if (p.data_sectors <= p.full_sectors) return {};
  return "partition " + std::to_string(index + 1) + " claims more data (" + std::to_string(p.data_sectors) +
         " sectors) than its size (" + std::to_string(p.full_sectors) + " sectors)";
}

}  // namespace

std::optional<ImageInfo> read_image_info(const std::string& path, std::string* error) {
  ImageFile file;
  if (const int e = file.open(path); e != 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(e);
    return std::nullopt;
  }
  const auto length = file.length();
  std::array<std::uint8_t, image::kHeaderLength> header{};
  const long got = length ? file.read_at(0, header) : -1;
  if (got < 0) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  ImageInfo info;
  info.length = *length;
  info.description = image::description_of(std::span<const std::uint8_t>(header.data(), static_cast<std::size_t>(got)));

  const SummaryRead summary = file.read_summary();
  if (!summary.summary) {
    info.problem = summary.error;
    return info;
  }
  info.has_summary = true;
  for (int k = 0; k < summary.summary->count; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    const std::size_t entry = image::kSummaryOffset + image::kFullSizeInSummary + i * image::kEntryStride;
    // Entry 11's Client-defined bytes lie past the summary block.
    std::array<std::uint8_t, 2> id{};
    file.read_at(entry + kNumberInEntry, id);
    ImagePartitionInfo p{.number = id[0],
                         .type = id[1],
                         .full_sectors = summary.summary->full_sectors[i],
                         .data_sectors = summary.summary->data_sectors[i]};
    if (info.problem.empty()) info.problem = sizes_problem(p, i);
    info.full_sectors += p.full_sectors;
    info.data_sectors += p.data_sectors;
    info.partitions.push_back(p);
  }
  if (std::equal(kClientSignature.begin(), kClientSignature.end(), header.begin())) {
    info.recorded_length = read_le32(header, kRecordedLengthOffset) |
                           (std::uint64_t{read_le32(header, kRecordedLengthOffset + 4)} << 32);
    if (info.problem.empty() && *info.recorded_length != info.length) {
      info.problem = "the file holds " + std::to_string(info.length) + " bytes of an image of " +
                     std::to_string(*info.recorded_length) +
                     (info.length < *info.recorded_length ? ": it was cut off" : ": it has bytes past its end");
    }
  }
  return info;
}

const char* partition_type_name(int type) {
  switch (type) {
    case 0x01: return "FAT12";
    case 0x04: return "FAT16 (small)";
    case 0x05: return "Extended";
    case 0x06: return "FAT16";
    case 0x07: return "NTFS/exFAT";
    case 0x0b: return "FAT32";
    case 0x0c: return "FAT32 (LBA)";
    case 0x0e: return "FAT16 (LBA)";
    case 0x0f: return "Extended (LBA)";
    case 0x11: return "Hidden FAT12";
    case 0x12: return "Diagnostics";
    case 0x17: return "Hidden NTFS";
    case 0x1b: return "Hidden FAT32";
    case 0x1c: return "Hidden FAT32 (LBA)";
    case 0x27: return "Windows recovery";
    case 0x82: return "Linux swap";
    case 0x83: return "Linux";
    case 0x85: return "Linux extended";
    case 0x8e: return "Linux LVM";
    case 0xa5: return "FreeBSD";
    case 0xee: return "GPT protective";
    case 0xef: return "EFI system";
    case 0xfd: return "Linux RAID";
    default: return "unknown";
  }
}

}  // namespace kestrelon
