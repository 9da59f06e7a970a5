#include "disk_set.h"

#include "restore_guard.h"

namespace kestrelon::client {

std::string broken_copy_text(const DiskInfo& disk) {
  return disk.path + " holds a broken-off copy of \"" + disk.broken_copy.value_or("") +
         "\": it has no partition table, and none of its old file systems, until a copy to it ends whole";
}

bool DiskSet::load(const std::vector<std::string>& paths, std::string* error, bool lenient) {
  lenient_ = lenient;
  disks_.assign(paths.size(), DiskInfo{});
  entries_.assign(paths.size(), DiskEntry{});
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!read_disk(i, paths[i], error)) return false;
  }
  return true;
}

void DiskSet::add_store_disk(std::uint64_t sectors) {
  entries_.push_back(announce_entry(static_cast<int>(entries_.size()), sectors, PartitionTable{}));
}

bool DiskSet::refresh(std::size_t index, std::string* error) {
  if (index >= disks_.size()) return false;
  return read_disk(index, disks_[index].path, error);
}

bool DiskSet::read_disk(std::size_t index, const std::string& path, std::string* error) {
  const auto disk = DiskDevice::open(path, false, error);
  if (!disk) return false;
  std::string problem;
  auto table = disk->partition_table(&problem);
  if (!table && !lenient_) {
    if (error) *error = problem;
    return false;
  }
  DiskInfo& info = disks_[index];
  info.path = path;
  info.sectors = disk->sectors();
  info.table = table ? std::move(*table) : PartitionTable{};
  info.table_problem = table ? "" : problem;
  info.broken_copy = broken_copy_of(*disk);
  info.entry = announce_entry(static_cast<int>(index), info.sectors, info.table);
  entries_[index] = info.entry;
  return true;
}

}  // namespace kestrelon::client
