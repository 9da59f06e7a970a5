#pragma once
// After a restore that grew the last partition to fill a larger disk, the file
// system in it grows too, where the system has the tool: resize2fs (after an
// e2fsck) for ext2/3/4, ntfsresize for NTFS, fatresize for FAT. fatresize grows
// the partition itself, so a FAT partition is written at its old size first and
// given the whole room afterwards, whatever the tool did. A file system that
// cannot grow keeps its size inside the larger partition; the log says which.
#include <string>
#include <vector>

#include "file_system_probe.h"
#include "image/image_layout.h"
#include "target_table.h"

namespace kestrelon::client {

struct GrowthJob {
  std::string disk_path;
  Growth growth;
  FileSystemKind kind = FileSystemKind::unknown;
  // FAT: the table with the partition grown, written when fatresize fails.
  std::vector<image::TableSector> grown_table;
};

// Runs the job; what happened, one line each, for the log.
std::vector<std::string> grow_file_system(const GrowthJob& job);

}  // namespace kestrelon::client
