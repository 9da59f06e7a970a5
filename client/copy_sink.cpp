#include "copy_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kestrelon::client {

std::string safe_file_name(const std::string& name) {
  std::string s = name;
  for (char& c : s) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (s.empty() || s == "." || s == "..") s = "image.krn";
  return s;
}

std::unique_ptr<StoreSink> StoreSink::open(const std::string& dir, const std::string& name, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = dir + "/" + safe_file_name(name);
  const std::string part = path + ".part";
  // A symbolic link planted at the .part path would have the copy overwrite
  // whatever it points to.
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    if (error) {
      *error = errno == ELOOP ? part + " is a symbolic link; refusing to write through it"
                              : "cannot create " + part + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  return std::unique_ptr<StoreSink>(new StoreSink(path, fd));
}

StoreSink::~StoreSink() {
  if (fd_ >= 0) abandon();
}

bool StoreSink::consume(std::span<const std::uint8_t> bytes) {
  if (pending_.size() + bytes.size() > kWriteSize && !flush()) return false;
  if (bytes.size() >= kWriteSize) return write_all(bytes);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  return true;
}

bool StoreSink::flush() {
  const bool ok = write_all(pending_);
  pending_.clear();
  return ok;
}

bool StoreSink::write_all(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "writing " + path_ + ".part failed: " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool StoreSink::finish() {
  if (!flush()) return false;
  const bool synced = ::fsync(fd_) == 0;
  ::close(fd_);
  fd_ = -1;
  if (!synced || std::rename((path_ + ".part").c_str(), path_.c_str()) != 0) {
    error_ = "completing " + path_ + " failed: " + std::strerror(errno);
    return false;
  }
  return true;
}

void StoreSink::abandon() {
  pending_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::remove((path_ + ".part").c_str());
}

}  // namespace kestrelon::client
