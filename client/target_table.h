#pragma once
// The partition table a restore writes last, fitted to the disk it writes: the
// image's own table sectors byte for byte on a disk of the source's size; a GPT
// moved so that its backup lies at the end of a disk of another size; and, when
// partitions do not keep their size, the last partition grown to the end of a
// disk larger than the source (an MBR entry at most to 2 TiB).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/image_layout.h"
#include "mbr.h"

namespace kestrelon::client {

struct Growth {
  std::uint8_t number = 0;  // the partition that grows
  std::uint64_t start_lba = 0;
  std::uint64_t old_sectors = 0;
  std::uint64_t new_sectors = 0;
};

struct TargetTable {
  PartitionTable table;                     // the partitions as the image has them
  std::vector<image::TableSector> sectors;  // written last
  std::vector<image::TableSector> ungrown;  // the same with no partition grown, when one grows
  std::optional<Growth> growth;
  // Sectors no chunk fills: the table's places in the image and on the disk.
  std::vector<std::uint64_t> keep_clear;
  std::uint64_t needed_sectors = 0;  // the smallest disk the image fits
};

// Nothing (with a message) when the image's table is damaged, the disk of
// `disk_sectors` is too small for it ("needs N sectors"), or a table sector
// would be written at or past the disk's end.
std::optional<TargetTable> fit_table(const image::ImageHeader& header, std::uint64_t disk_sectors, bool keep_size,
                                     std::string* error);

}  // namespace kestrelon::client
