#pragma once
// A block device for one partition of a disk, for the tools that grow file
// systems: on a disk that is a block device, the partition's own device (the
// kernel's /dev entry, or a node of our own when /dev has none, when the kernel
// has it at the start and size asked for); on a disk image file, or when the
// kernel shows no such partition, a loop device over the partition's bytes,
// released again when this object goes.
#include <cstdint>
#include <memory>
#include <string>

namespace kestrelon::client {

class PartitionDevice {
 public:
  static std::unique_ptr<PartitionDevice> open(const std::string& disk_path, int number, std::uint64_t start_lba,
                                               std::uint64_t sectors, std::string* error);
  ~PartitionDevice();
  PartitionDevice(const PartitionDevice&) = delete;
  PartitionDevice& operator=(const PartitionDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  PartitionDevice() = default;
  static std::unique_ptr<PartitionDevice> kernel_partition(const std::string& disk_path, int number,
                                                           std::uint64_t start_lba, std::uint64_t sectors);
  static std::unique_ptr<PartitionDevice> loop_over(const std::string& disk_path, std::uint64_t start_lba,
                                                    std::uint64_t sectors, std::string* error);
  std::string path_;
  int loop_fd_ = -1;          // held while the loop device is in use
  std::string private_node_;  // a node made here, removed at the end
};

}  // namespace kestrelon::client
