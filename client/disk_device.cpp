#include "disk_device.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

namespace kestrelon::client {

DiskDevice::DiskDevice(std::string path, int fd, std::uint64_t size, bool block_device)
    : path_(std::move(path)), fd_(fd), size_(size), block_device_(block_device) {}

DiskDevice::~DiskDevice() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<DiskDevice> DiskDevice::open(const std::string& path, bool writable, std::string* error) {
  // For writing, O_EXCL claims a block device for this Client alone: the open
  // fails with EBUSY while the disk is mounted or claimed by another program, so
  // a restore never overwrites a disk in use. Linux ignores the flag without
  // O_CREAT for anything but a block device.
  const int fd = ::open(path.c_str(), (writable ? O_RDWR | O_EXCL : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    if (error) {
      *error = writable && errno == EBUSY
                   ? "disk " + path + " is in use (mounted, or opened by another program); it is not overwritten"
                   : "cannot open disk " + path + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    if (error) *error = "cannot examine disk " + path + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  std::uint64_t size = 0;
  const bool block = S_ISBLK(st.st_mode);
  if (block) {
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
      if (error) *error = "cannot read the size of block device " + path + ": " + std::strerror(errno);
      ::close(fd);
      return nullptr;
    }
    // Partition tables and images count 512-byte sectors; on a disk of 4096-byte
    // sectors the same numbers would mean other places.
    int sector = 0;
    if (::ioctl(fd, BLKSSZGET, &sector) == 0 && sector != static_cast<int>(kSectorSize)) {
      if (error) {
        *error = "disk " + path + " has " + std::to_string(sector) +
                 "-byte sectors; this Client handles only disks of 512-byte sectors";
      }
      ::close(fd);
      return nullptr;
    }
  } else if (S_ISREG(st.st_mode)) {
    size = static_cast<std::uint64_t>(st.st_size);
  } else {
    if (error) *error = "disk " + path + " is neither a regular file nor a block device";
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<DiskDevice>(new DiskDevice(path, fd, size, block));
}

namespace {
// Repeats a positioned read or write, `call(done)` for the bytes from `done` on,
// until all `size` bytes are through. Nothing moved (the end of the disk) is an
// error too, reported as EIO.
template <class Call>
bool move_all(std::size_t size, Call call) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = call(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}
}  // namespace

bool DiskDevice::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (read_delay_.count() > 0) std::this_thread::sleep_for(read_delay_);
  return move_all(out.size(), [&](std::size_t done) {
    return ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
  });
}

bool DiskDevice::write_at(std::uint64_t offset, std::span<const std::uint8_t> data) {
  return move_all(data.size(), [&](std::size_t done) {
    return ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
  });
}

bool DiskDevice::zero_range(std::uint64_t offset, std::uint64_t length) {
  if (length == 0) return true;
  if (!block_device_ && offset + length <= size_ &&
      ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                  static_cast<off_t>(length)) == 0) {
    return true;
  }
  if (block_device_) {
    std::uint64_t range[2] = {offset, length};
    if (offset % kSectorSize == 0 && length % kSectorSize == 0 && ::ioctl(fd_, BLKZEROOUT, range) == 0) return true;
  }
  static const std::vector<std::uint8_t> zeros(1 << 20, 0);
  while (length > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, zeros.size()));
    if (!write_at(offset, std::span(zeros.data(), n))) return false;
    offset += n;
    length -= n;
  }
  return true;
}

bool DiskDevice::sync() { return ::fsync(fd_) == 0; }

std::optional<std::pair<std::uint64_t, std::uint64_t>> DiskDevice::data_extent(std::uint64_t from) const {
  if (block_device_ || from >= size_) return std::nullopt;
  const off_t start = ::lseek(fd_, static_cast<off_t>(from), SEEK_DATA);
  if (start < 0) {
    if (errno == ENXIO) return std::pair{size_, size_};  // nothing but a hole up to the end
    return std::nullopt;
  }
  const off_t end = ::lseek(fd_, start, SEEK_HOLE);
  if (end < start) return std::nullopt;
  return std::pair{static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(end)};
}

bool DiskDevice::reread_partitions() { return !block_device_ || ::ioctl(fd_, BLKRRPART) == 0; }

std::optional<PartitionTable> DiskDevice::partition_table(std::string* error) const {
  const auto reader = [this](std::uint64_t lba, std::span<std::uint8_t, kSectorSize> sector) {
    return read_at(lba * kSectorSize, sector);
  };
  auto table = read_partition_table(reader, sectors(), error);
  if (!table && error) *error = path_ + ": " + *error;
  return table;
}

DiskEntry announce_entry(int index, std::uint64_t disk_sectors, const PartitionTable& table) {
  DiskEntry d;
  d.bios_number = static_cast<std::uint16_t>(0x80 + index);
  constexpr std::uint64_t kHeads = 255, kSectorsPerTrack = 63;
  d.geometry1 = static_cast<std::uint16_t>(std::min<std::uint64_t>(disk_sectors / (kHeads * kSectorsPerTrack), 65535));
  d.geometry2 = kHeads;
  d.geometry3 = kSectorsPerTrack;
  // Sizes past 32 bits of sectors (2 TiB) do not fit the announce; say as much as fits.
  d.size_sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(disk_sectors, 0xFFFFFFFFu));
  d.partition_count = static_cast<int>(std::min<std::size_t>(table.partitions.size(), kMaxPartitions));
  for (int p = 0; p < d.partition_count; ++p) {
    const Partition& src = table.partitions[static_cast<std::size_t>(p)];
    PartitionEntry& e = d.partitions[static_cast<std::size_t>(p)];
    e.number = src.number;
    e.boot = src.boot;
    e.type = src.type;
    e.logical = src.logical ? 1 : 0;
    e.first_extra = static_cast<std::uint32_t>(src.start_lba);
    e.size_sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(src.sectors, 0xFFFFFFFFu));
    e.second_extra = 0;
  }
  return d;
}

}  // namespace kestrelon::client
