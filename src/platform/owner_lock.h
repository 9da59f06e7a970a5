#pragma once
// A file whose lock says that its owner still runs. The owner creates the file
// and holds an exclusive lock on it for as long as it lives; the kernel lets go
// of the lock when the process ends, however it ends (a crash, SIGKILL). Another
// process asks whether anyone still holds it. The pending-transfer marker uses
// this, so a crashed Controller never leaves PCs waiting for it.
#include <filesystem>

namespace kestrelon {

class OwnerLock {
 public:
  OwnerLock() = default;
  // Creates `file` (mode `mode` before the umask) and takes its lock. held() is
  // false, and error() says why, when either failed.
  OwnerLock(const std::filesystem::path& file, unsigned mode);
  ~OwnerLock();
  OwnerLock(OwnerLock&& other) noexcept;
  OwnerLock& operator=(OwnerLock&& other) noexcept;
  OwnerLock(const OwnerLock&) = delete;
  OwnerLock& operator=(const OwnerLock&) = delete;

  bool held() const { return fd_ >= 0; }
  int error() const { return error_; }
  const std::filesystem::path& file() const { return file_; }
  // Removes the file, then lets go of the lock.
  void release();

 private:
  int fd_ = -1;
  int error_ = 0;
  std::filesystem::path file_;
};

// Whether some process holds the lock of `file`. A missing or unreadable file is
// held by nobody.
bool owner_lock_held(const std::filesystem::path& file);

}  // namespace kestrelon
