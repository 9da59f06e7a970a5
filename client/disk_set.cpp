#include "disk_set.h"

namespace kestrelon::client {

bool DiskSet::load(const std::vector<std::string>& paths, std::string* error) {
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
  auto table = disk->partition_table(error);
  if (!table) return false;
  DiskInfo& info = disks_[index];
  info.path = path;
  info.sectors = disk->sectors();
  info.table = std::move(*table);
  info.entry = announce_entry(static_cast<int>(index), info.sectors, info.table);
  entries_[index] = info.entry;
  return true;
}

}  // namespace kestrelon::client
