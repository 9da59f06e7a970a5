#pragma once
// A disk as the Client sees it: a raw disk image file or a block device, read and
// written at byte offsets. Block devices are written only when the user allowed it.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "mbr.h"
#include "net/disk_layout.h"

namespace kestrelon::client {

class DiskDevice {
 public:
  // Opens `path` for reading, or for reading and writing; a block device opened
  // for writing is claimed exclusively (refused while it or a partition of it is
  // mounted or in use), and one whose sectors are not 512 bytes is refused. Fails
  // with a message naming the path and the reason.
  static std::unique_ptr<DiskDevice> open(const std::string& path, bool writable, std::string* error);
  ~DiskDevice();
  DiskDevice(const DiskDevice&) = delete;
  DiskDevice& operator=(const DiskDevice&) = delete;

  const std::string& path() const { return path_; }
  std::uint64_t size_bytes() const { return size_; }
  std::uint64_t sectors() const { return size_ / kSectorSize; }
  bool is_block_device() const { return block_device_; }

  // Every read takes `delay` longer: a slow disk, for tests.
  void slow_down(std::chrono::milliseconds delay) { read_delay_ = delay; }

  // Whole reads and writes; false (with errno kept) on any failure or short count.
  bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const;
  bool write_at(std::uint64_t offset, std::span<const std::uint8_t> data);
  // Makes [offset, offset + length) read back as zeros: a hole in a file where
  // the file system allows it, written zeros otherwise.
  bool zero_range(std::uint64_t offset, std::uint64_t length);
  bool sync();
  // The first stretch of data at or after byte `from` of a sparse disk file, as
  // [start, end); both the disk's size when only a hole follows. Nothing for a
  // block device, or when the file system cannot tell: all of it may be data.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> data_extent(std::uint64_t from) const;
  // Asks the kernel to read a block device's partition table again (after a
  // restore rewrote it); nothing for a file. Failure (a partition in use) is
  // only reported.
  bool reread_partitions();

  std::optional<PartitionTable> partition_table(std::string* error) const;

 private:
  DiskDevice(std::string path, int fd, std::uint64_t size, bool block_device);
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  bool block_device_ = false;
  std::chrono::milliseconds read_delay_{0};
};

// The disk block of an announce: BIOS number 0x80 + index, a plausible geometry
// (cylinders, heads 255, sectors per track 63), size, and the first 12 partitions
// with their start sector as the first extra count.
DiskEntry announce_entry(int index, std::uint64_t disk_sectors, const PartitionTable& table);

}  // namespace kestrelon::client
