#include "platform/owner_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kestrelon {

OwnerLock::OwnerLock(const std::filesystem::path& file, unsigned mode) : file_(file) {
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  // Waits: a reader's probe holds the lock for a moment now and then.
  int locked;
  while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) {
    error_ = errno;
    ::close(fd_);
    fd_ = -1;
  }
}

OwnerLock::~OwnerLock() { release(); }

OwnerLock::OwnerLock(OwnerLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), file_(std::move(other.file_)) {}

OwnerLock& OwnerLock::operator=(OwnerLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    file_ = std::move(other.file_);
  }
  return *this;
}

void OwnerLock::release() {
  if (fd_ < 0) return;
  // Removed while still locked: a reader that finds the file finds it held.
  ::unlink(file_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool owner_lock_held(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = false;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) held = errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

}  // namespace kestrelon
