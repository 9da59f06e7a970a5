#include "partition_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "first_line.h"

namespace kestrelon::client {
namespace {

namespace fs = std::filesystem;

bool fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// The kernel lists a disk's partitions under its sysfs entry, each with its
// number, its start and size in 512-byte sectors and its device numbers. Only
// an entry whose start and size are those of the table just written is the
// partition asked for: a kernel still holding the old table (a partition busy,
// or a number that now names another place) would have the tool work on the
// wrong bytes. The entry appears when the kernel has read the new table; give it
// a moment (a second).
std::optional<std::pair<std::string, dev_t>> find_partition(const std::string& disk_name, int number,
                                                            std::uint64_t start_lba, std::uint64_t sectors) {
  const fs::path dir = fs::path("/sys/class/block") / disk_name;
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      if (first_line(entry.path() / "partition") != std::to_string(number)) continue;
      if (first_line(entry.path() / "start") != std::to_string(start_lba) ||
          first_line(entry.path() / "size") != std::to_string(sectors)) {
        continue;
      }
      unsigned major_number = 0, minor_number = 0;
      if (std::sscanf(first_line(entry.path() / "dev").c_str(), "%u:%u", &major_number, &minor_number) != 2) continue;
      return std::make_pair(entry.path().filename().string(), makedev(major_number, minor_number));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

}  // namespace

PartitionDevice::~PartitionDevice() {
  if (loop_fd_ >= 0) {
    ::ioctl(loop_fd_, LOOP_CLR_FD, 0);
    ::close(loop_fd_);
  }
  if (!private_node_.empty()) {
    std::error_code ec;
    fs::remove_all(fs::path(private_node_).parent_path(), ec);
  }
}

std::unique_ptr<PartitionDevice> PartitionDevice::open(const std::string& disk_path, int number,
                                                       std::uint64_t start_lba, std::uint64_t sectors,
                                                       std::string* error) {
  struct stat st {};
  if (::stat(disk_path.c_str(), &st) != 0) {
    fail(error, "cannot examine " + disk_path + ": " + std::strerror(errno));
    return nullptr;
  }
  if (S_ISBLK(st.st_mode)) {
    if (auto d = kernel_partition(disk_path, number, start_lba, sectors)) return d;
  }
  // A disk file, or a kernel that shows no such partition of this disk (one
  // built without partition table support, or still holding the old table).
  return loop_over(disk_path, start_lba, sectors, error);
}

std::unique_ptr<PartitionDevice> PartitionDevice::kernel_partition(const std::string& disk_path, int number,
                                                                   std::uint64_t start_lba, std::uint64_t sectors) {
  const int disk = ::open(disk_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (disk >= 0) {
    ::ioctl(disk, BLKRRPART);  // the table was just written; a failure leaves the kernel's older view
    ::close(disk);
  }
  std::error_code ec;
  const std::string name = fs::canonical(disk_path, ec).filename().string();
  const auto found = find_partition(name, number, start_lba, sectors);
  if (ec || !found) return nullptr;
  std::unique_ptr<PartitionDevice> d(new PartitionDevice());
  const std::string node = "/dev/" + found->first;
  struct stat ns {};
  if (::stat(node.c_str(), &ns) == 0 && S_ISBLK(ns.st_mode) && ns.st_rdev == found->second) {
    d->path_ = node;
    return d;
  }
  // No /dev entry (a /dev without devtmpfs): a node of our own.
  char dir[] = "/tmp/kestrelon-part-XXXXXX";
  if (!::mkdtemp(dir)) return nullptr;
  d->private_node_ = std::string(dir) + "/" + found->first;
  if (::mknod(d->private_node_.c_str(), S_IFBLK | 0600, found->second) != 0) return nullptr;
  d->path_ = d->private_node_;
  return d;
}

std::unique_ptr<PartitionDevice> PartitionDevice::loop_over(const std::string& disk_path, std::uint64_t start_lba,
                                                            std::uint64_t sectors, std::string* error) {
  std::unique_ptr<PartitionDevice> d(new PartitionDevice());
  const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
  if (control < 0) {
    fail(error, std::string("no loop device for a partition of ") + disk_path + ": " + std::strerror(errno));
    return nullptr;
  }
  const int backing = ::open(disk_path.c_str(), O_RDWR | O_CLOEXEC);
  // Another program may take the free device first: try again.
  for (int attempt = 0; attempt < 8 && backing >= 0; ++attempt) {
    const int index = ::ioctl(control, LOOP_CTL_GET_FREE);
    if (index < 0) break;
    const std::string path = "/dev/loop" + std::to_string(index);
    const int loop = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (loop < 0) continue;
    loop_config config{};
    config.fd = static_cast<std::uint32_t>(backing);
    config.info.lo_offset = start_lba * 512;
    config.info.lo_sizelimit = sectors * 512;
    if (::ioctl(loop, LOOP_CONFIGURE, &config) == 0) {
      d->path_ = path;
      d->loop_fd_ = loop;
      break;
    }
    ::close(loop);
  }
  const int saved = errno;
  if (backing >= 0) ::close(backing);
  ::close(control);
  if (d->loop_fd_ < 0) {
    fail(error, "cannot set up a loop device over " + disk_path + ": " + std::strerror(saved));
    return nullptr;
  }
  return d;
}

}  // namespace kestrelon::client
