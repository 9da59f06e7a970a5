#include "transfer/buffered_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrelon {

BufferedFileWriter::BufferedFileWriter(std::size_t capacity, WriteCall write_call)
    : pending_(capacity == 0 ? 1 : capacity), write_call_(write_call ? write_call : ::pwrite) {}

BufferedFileWriter::~BufferedFileWriter() { close(); }

BufferedFileWriter::BufferedFileWriter(BufferedFileWriter&& other) noexcept
    : pending_(std::move(other.pending_)),
      pending_length_(std::exchange(other.pending_length_, 0)),
      pending_offset_(other.pending_offset_),
      position_(other.position_),
      fd_(std::exchange(other.fd_, -1)),
      error_(other.error_),
      path_(std::move(other.path_)),
      write_call_(other.write_call_) {}

BufferedFileWriter& BufferedFileWriter::operator=(BufferedFileWriter&& other) noexcept {
  if (this != &other) {
    close();
    pending_ = std::move(other.pending_);
    pending_length_ = std::exchange(other.pending_length_, 0);
    pending_offset_ = other.pending_offset_;
    position_ = other.position_;
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    path_ = std::move(other.path_);
    write_call_ = other.write_call_;
  }
  return *this;
}

int BufferedFileWriter::open(const std::string& path) {
  close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) return errno;
  fd_ = fd;
  path_ = path;
  pending_length_ = 0;
  pending_offset_ = 0;
  position_ = 0;
  error_ = 0;
  return 0;
}

void BufferedFileWriter::fail(int error) {
  if (error_ == 0) error_ = error;
}

int BufferedFileWriter::put_out(const std::uint8_t* bytes, std::size_t count, std::int64_t offset) {
  while (count > 0) {
    const ssize_t n = write_call_(fd_, bytes, count, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    // A write that takes nothing and reports no error would loop for ever; the
    // kernel does this only when the file system has no room.
    if (n == 0) return ENOSPC;
    bytes += n;
    count -= static_cast<std::size_t>(n);
    offset += n;
  }
  return 0;
}

int BufferedFileWriter::flush() {
  if (error_ != 0 || fd_ < 0) return error_;
  if (pending_length_ > 0) {
    const int e = put_out(pending_.data(), pending_length_, pending_offset_);
    pending_length_ = 0;
    if (e != 0) fail(e);
  }
  return error_;
}

int BufferedFileWriter::write(std::span<const std::uint8_t> bytes) {
  if (error_ != 0) return error_;
  if (fd_ < 0) return EBADF;
  if (bytes.empty()) return 0;
  const std::size_t capacity = pending_.size();
  const std::size_t n = bytes.size();
  // Inside or right after the pending run, and the result still fits: patch or
  // extend it in memory.
  if (pending_length_ > 0 && position_ >= pending_offset_ &&
      position_ <= pending_offset_ + static_cast<std::int64_t>(pending_length_)) {
    const auto at = static_cast<std::size_t>(position_ - pending_offset_);
    if (at + n <= capacity) {
      std::memcpy(pending_.data() + at, bytes.data(), n);
      if (at + n > pending_length_) pending_length_ = at + n;
      position_ += static_cast<std::int64_t>(n);
      return 0;
    }
  }
  if (flush() != 0) return error_;
  if (n >= capacity) {
    const int e = put_out(bytes.data(), n, position_);
    if (e != 0) {
      fail(e);
      return error_;
    }
  } else {
    std::memcpy(pending_.data(), bytes.data(), n);
    pending_length_ = n;
    pending_offset_ = position_;
  }
  position_ += static_cast<std::int64_t>(n);
  return 0;
}

int BufferedFileWriter::close() {
  if (fd_ < 0) return error_;
  flush();
  if (::close(fd_) != 0) fail(errno);
  fd_ = -1;
  return error_;
}

bool BufferedFileWriter::is_disk_full(int error) { return error == ENOSPC || error == EDQUOT; }

}  // namespace kestrelon
