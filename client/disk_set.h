#pragma once
// The disks of this Client program, shared by every Client it emulates: opened
// read-only once to check them, their partition tables kept for announces and
// read again after a restore changed them.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk_device.h"
#include "net/disk_layout.h"

namespace kestrelon::client {

struct DiskInfo {
  std::string path;
  std::uint64_t sectors = 0;
  PartitionTable table;
  DiskEntry entry;  // as announced
  std::optional<std::string> broken_copy;  // the image whose restore broke off here
  std::string table_problem;  // why its partition table could not be read (lenient loads)
};

// What the log says of a disk that holds a broken-off copy.
std::string broken_copy_text(const DiskInfo& disk);

class DiskSet {
 public:
  // Opens and reads every disk; false with a message naming the first bad one.
  // `lenient`: a disk whose partition table is damaged counts as one without
  // partitions, with the reason in its table_problem.
  bool load(const std::vector<std::string>& paths, std::string* error, bool lenient = false);
  // Announces an empty disk of `sectors` after the real ones: the room of a
  // --store folder. It has no device, so it is never read or restored.
  void add_store_disk(std::uint64_t sectors);
  // Reads disk `index` again (after it was written).
  bool refresh(std::size_t index, std::string* error);
  const std::vector<DiskInfo>& disks() const { return disks_; }
  const std::vector<DiskEntry>& entries() const { return entries_; }

 private:
  bool read_disk(std::size_t index, const std::string& path, std::string* error);
  bool lenient_ = false;
  std::vector<DiskInfo> disks_;
  std::vector<DiskEntry> entries_;
};

}  // namespace kestrelon::client
