#include "ntfs_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// ntfs-3g's headers define struct timespec unless <sys/stat.h> came first, and
// min and max as macros.
#include <sys/stat.h>
extern "C" {
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace kestrelon::client {
namespace {

// The volume's bytes on the disk: what the library sees as its device.
struct Window {
  std::string disk;
  std::uint64_t offset = 0, length = 0;
  int fd = -1;
  std::int64_t position = 0;
};

Window& window_of(ntfs_device* dev) { return *static_cast<Window*>(dev->d_private); }

int window_open(ntfs_device* dev, int flags) {
  Window& w = window_of(dev);
  w.fd = ::open(w.disk.c_str(), (flags & O_ACCMODE) | O_CLOEXEC);
  if (w.fd < 0) return -1;
  if ((flags & O_ACCMODE) != O_RDWR) NDevSetReadOnly(dev);
  NDevSetOpen(dev);
  return 0;
}

int window_close(ntfs_device* dev) {
  Window& w = window_of(dev);
  const int rc = w.fd >= 0 ? ::close(w.fd) : 0;
  w.fd = -1;
  NDevClearOpen(dev);
  return rc;
}

s64 window_seek(ntfs_device* dev, s64 offset, int whence) {
  Window& w = window_of(dev);
  const s64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? w.position : static_cast<s64>(w.length);
  if (base + offset < 0) {
    errno = EINVAL;
    return -1;
  }
  return w.position = base + offset;
}

// Reads or writes within the window only: a volume that claims to be larger
// than its partition must not reach the next one.
s64 window_io(ntfs_device* dev, void* buffer, s64 count, s64 at, bool writing) {
  Window& w = window_of(dev);
  if (at < 0 || static_cast<std::uint64_t>(at) >= w.length) return 0;
  count = std::min<s64>(count, static_cast<s64>(w.length) - at);
  const off_t where = static_cast<off_t>(w.offset + static_cast<std::uint64_t>(at));
  return writing ? ::pwrite(w.fd, buffer, static_cast<std::size_t>(count), where)
                 : ::pread(w.fd, buffer, static_cast<std::size_t>(count), where);
}

s64 window_pread(ntfs_device* dev, void* buffer, s64 count, s64 at) { return window_io(dev, buffer, count, at, false); }
s64 window_pwrite(ntfs_device* dev, const void* buffer, s64 count, s64 at) {
  return window_io(dev, const_cast<void*>(buffer), count, at, true);
}
s64 window_read(ntfs_device* dev, void* buffer, s64 count) {
  const s64 n = window_pread(dev, buffer, count, window_of(dev).position);
  if (n > 0) window_of(dev).position += n;
  return n;
}
s64 window_write(ntfs_device* dev, const void* buffer, s64 count) {
  const s64 n = window_pwrite(dev, buffer, count, window_of(dev).position);
  if (n > 0) window_of(dev).position += n;
  return n;
}
int window_sync(ntfs_device* dev) { return ::fsync(window_of(dev).fd); }

int window_stat(ntfs_device* dev, struct stat* st) {
  std::memset(st, 0, sizeof *st);
  st->st_mode = S_IFREG | 0600;
  st->st_size = static_cast<off_t>(window_of(dev).length);
  return 0;
}

int window_ioctl(ntfs_device* dev, unsigned long request, void* argument) {
  if (request == BLKGETSIZE64) {
    *static_cast<std::uint64_t*>(argument) = window_of(dev).length;
    return 0;
  }
  if (request == BLKSSZGET) {
    *static_cast<int*>(argument) = 512;
    return 0;
  }
  errno = ENOTTY;
  return -1;
}

ntfs_device_operations window_operations = {window_open,  window_close, window_seek, window_read,
                                            window_write, window_pread, window_pwrite, window_sync,
                                            window_stat,  window_ioctl};

std::string mount_failure(int error) {
  if (error == EPERM) {
    return "the NTFS volume is still in use by its Windows: it was hibernated, shut down with fast start-up, "
           "or needs a check (shut the master down fully, e.g. shutdown /s /t 0, and make the image again)";
  }
  return std::string("the NTFS volume does not open: ") + std::strerror(error);
}

struct InodeCloser {
  ntfs_inode* inode;
  ~InodeCloser() {
    if (inode) ntfs_inode_close(inode);
  }
};
struct AttributeCloser {
  ntfs_attr* attribute;
  ~AttributeCloser() {
    if (attribute) ntfs_attr_close(attribute);
  }
};

}  // namespace

struct NtfsFiles::Volume {
  Window window;
  ntfs_volume* volume = nullptr;
};

NtfsFiles::NtfsFiles(std::unique_ptr<Volume> volume) : volume_(std::move(volume)) {}

NtfsFiles::~NtfsFiles() {
  std::string ignored;
  close(&ignored);
}

std::unique_ptr<NtfsFiles> NtfsFiles::open(const std::string& device, std::uint64_t offset, std::uint64_t length,
                                           bool writable, std::string* error) {
  // The library's own messages would go to standard error in its words; the
  // reason this Client gives comes from errno.
  ntfs_log_set_handler(ntfs_log_handler_null);
  auto v = std::make_unique<Volume>();
  v->window = Window{device, offset, length};
  ntfs_device* dev = ntfs_device_alloc(device.c_str(), 0, &window_operations, &v->window);
  if (!dev) {
    if (error) *error = std::string("the NTFS library failed: ") + std::strerror(errno);
    return nullptr;
  }
  v->volume = ntfs_device_mount(dev, writable ? NTFS_MNT_NONE : NTFS_MNT_RDONLY);
  if (!v->volume) {
    const int e = errno;
    ntfs_device_free(dev);
    if (error) *error = mount_failure(e);
    return nullptr;
  }
  return std::unique_ptr<NtfsFiles>(new NtfsFiles(std::move(v)));
}

bool NtfsFiles::exists(const std::string& path) const {
  InodeCloser file{ntfs_pathname_to_inode(volume_->volume, nullptr, path.c_str())};
  return file.inode != nullptr;
}

std::optional<std::string> NtfsFiles::read(const std::string& path, std::size_t limit, std::string* error) const {
  InodeCloser file{ntfs_pathname_to_inode(volume_->volume, nullptr, path.c_str())};
  AttributeCloser data{file.inode ? ntfs_attr_open(file.inode, AT_DATA, AT_UNNAMED, 0) : nullptr};
  if (!data.attribute) {
    if (error) *error = "reading " + path + " failed: " + std::strerror(errno);
    return std::nullopt;
  }
  if (data.attribute->data_size < 0 || static_cast<std::uint64_t>(data.attribute->data_size) > limit) {
    if (error) *error = path + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(data.attribute->data_size), '\0');
  if (ntfs_attr_pread(data.attribute, 0, static_cast<s64>(bytes.size()), bytes.data()) !=
      static_cast<s64>(bytes.size())) {
    if (error) *error = "reading " + path + " failed: " + std::strerror(errno);
    return std::nullopt;
  }
  return bytes;
}

bool NtfsFiles::write(const std::string& path, std::string_view bytes, std::string* error) {
  InodeCloser file{ntfs_pathname_to_inode(volume_->volume, nullptr, path.c_str())};
  AttributeCloser data{file.inode ? ntfs_attr_open(file.inode, AT_DATA, AT_UNNAMED, 0) : nullptr};
  const auto failed = [&] {
    if (error) *error = "writing " + path + " failed: " + std::strerror(errno);
    return false;
  };
  if (!data.attribute) return failed();
  const s64 size = static_cast<s64>(bytes.size());
  if (data.attribute->data_size != size && ntfs_attr_truncate(data.attribute, size) != 0) return failed();
  if (ntfs_attr_pwrite(data.attribute, 0, size, bytes.data()) != size) return failed();
  ntfs_inode_update_times(file.inode, static_cast<ntfs_time_update_flags>(NTFS_UPDATE_MCTIME));
  return true;
}

bool NtfsFiles::close(std::string* error) {
  if (!volume_ || !volume_->volume) return true;
  const bool ok = ntfs_umount(volume_->volume, FALSE) == 0;
  volume_->volume = nullptr;
  if (!ok && error) *error = std::string("writing the NTFS volume out failed: ") + std::strerror(errno);
  return ok;
}

}  // namespace kestrelon::client
