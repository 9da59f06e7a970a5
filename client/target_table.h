#pragma once
// The partition table a restore writes last, fitted to the disk it writes: the
// image's own table sectors byte for byte on a disk of the source's size; a GPT
// moved so that its backup lies at the end of a disk of another size; and, when
// partitions do not keep their size and the disk is larger than the source, the
// layout spread over it (an MBR at most to 2 TiB):
//
// The last data partition takes all the room the disk adds. Every other
// partition keeps its size: swap, EFI system, recovery and the like are sized for
// their job, and a data partition before the last one was sized by whoever laid
// the disk out. Whatever follows the grown partition (swap in an extended
// partition at the end, a recovery partition) moves towards the disk's end by
// the same whole number of MiB, keeping its alignment, and the table's entries,
// extended boot records included, follow it.
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

// Where the image's sectors go on the disk: those from `boundary` on (the
// grown partition's old end) move by `sectors`, the others stay.
struct LayoutShift {
  std::uint64_t boundary = 0;
  std::uint64_t sectors = 0;
  std::uint64_t map(std::uint64_t lba) const { return lba < boundary ? lba : lba + sectors; }
  bool moves(std::uint64_t lba) const { return sectors > 0 && lba >= boundary; }
};

struct TargetTable {
  PartitionTable table;                     // the partitions as the image has them
  std::vector<image::TableSector> sectors;  // written last
  // The same with the grown partition at its old size (what follows it moved
  // all the same), when one grows.
  std::vector<image::TableSector> ungrown;
  std::optional<Growth> growth;
  LayoutShift shift;
  // Sectors no chunk fills: the table's places in the image (moved as the
  // layout moves) and on the disk.
  std::vector<std::uint64_t> keep_clear;
  std::uint64_t needed_sectors = 0;  // the smallest disk the image fits
};

// Nothing (with a message) when the image's table is damaged, the disk of
// `disk_sectors` is too small for it ("needs N sectors"), or a table sector
// would be written at or past the disk's end.
std::optional<TargetTable> fit_table(const image::ImageHeader& header, std::uint64_t disk_sectors, bool keep_size,
                                     std::string* error);

}  // namespace kestrelon::client
