#pragma once
// The files of an NTFS volume on a disk, read and written without mounting it
// (ntfs-3g's library, given the volume's bytes as a device of its own: no FUSE,
// no kernel driver, no loop device). The Client names a copied Windows this way.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon::client {

class NtfsFiles {
 public:
  // The volume that lies `length` bytes from `offset` on `device`. Nothing, with
  // a reason, when it does not open: not NTFS, damaged, or (`writable`) left by
  // a Windows that hibernated or shut down with fast start-up (its files are
  // still in use then, and writing them would be undone or lost).
  static std::unique_ptr<NtfsFiles> open(const std::string& device, std::uint64_t offset, std::uint64_t length,
                                         bool writable, std::string* error);
  ~NtfsFiles();
  NtfsFiles(const NtfsFiles&) = delete;
  NtfsFiles& operator=(const NtfsFiles&) = delete;

  // Whether `path` ("/Windows/System32/config/SYSTEM") names a file.
  bool exists(const std::string& path) const;
  // A file's bytes, when it is at most `limit` long; nothing with a reason.
  std::optional<std::string> read(const std::string& path, std::size_t limit, std::string* error) const;
  // Replaces an existing file's bytes (its size follows). False with a reason.
  bool write(const std::string& path, std::string_view bytes, std::string* error);
  // Writes everything out and releases the volume; false with a reason.
  bool close(std::string* error);

 private:
  struct Volume;
  explicit NtfsFiles(std::unique_ptr<Volume> volume);
  std::unique_ptr<Volume> volume_;
};

}  // namespace kestrelon::client
