#pragma once
// Writes a file through one in-memory run of pending bytes, with explicit seeks.
// The upload stream writes small records and jumps back now and then to patch a
// few bytes it wrote earlier; gathering the bytes here turns that into a few
// large writes instead of a system call per record. A jump back into bytes that
// are still pending patches them in memory.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrelon {

class BufferedFileWriter {
 public:
  // The system call that puts bytes into the file; a seam for tests that need a
  // write error other than a full disk.
  using WriteCall = ssize_t (*)(int fd, const void* bytes, std::size_t count, off_t offset);

  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;

  explicit BufferedFileWriter(std::size_t capacity = kDefaultCapacity, WriteCall write_call = nullptr);
  ~BufferedFileWriter();
  BufferedFileWriter(BufferedFileWriter&& other) noexcept;
  BufferedFileWriter& operator=(BufferedFileWriter&& other) noexcept;
  BufferedFileWriter(const BufferedFileWriter&) = delete;
  BufferedFileWriter& operator=(const BufferedFileWriter&) = delete;

  // Creates the file, or truncates an existing one, for writing. Returns 0 or the
  // error number.
  int open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // The write position: where the next write lands.
  std::int64_t position() const { return position_; }
  void seek(std::int64_t position) { position_ = position; }

  // Writes at the write position and moves it past the bytes. Returns 0, or the
  // error of a write that failed now or while pending bytes were put out; after
  // the first error every later write returns it and does nothing.
  int write(std::span<const std::uint8_t> bytes);

  // Puts the pending bytes into the file. Returns 0 or the first error.
  int flush();

  // Flushes and closes. Returns 0 or the first error met since open (a failure to
  // put out the last bytes is the usual way a full disk shows up at the end).
  int close();

  // The first error since open, 0 when none.
  int error() const { return error_; }

  // True for the errors that mean "no room left": the disk or the quota is full.
  static bool is_disk_full(int error);

 private:
  int put_out(const std::uint8_t* bytes, std::size_t count, std::int64_t offset);
  void fail(int error);

  std::vector<std::uint8_t> pending_;  // capacity fixed at construction
  std::size_t pending_length_ = 0;
  std::int64_t pending_offset_ = 0;  // file offset of pending_[0]
  std::int64_t position_ = 0;
  int fd_ = -1;
  int error_ = 0;
  std::string path_;
  WriteCall write_call_;
};

}  // namespace kestrelon
