#pragma once
// The files of an ext2/3/4 file system on a disk, read and written without
// mounting it (e2fsprogs' libext2fs): the Client names a copied Linux system
// this way, also on a disk image file and in an initramfs that has no ext4
// driver loaded.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon::client {

class ExtFiles {
 public:
  // The file system that starts `offset` bytes into `device`. Nothing, with a
  // reason, when it does not open (not ext, damaged, a feature the library lacks).
  static std::unique_ptr<ExtFiles> open(const std::string& device, std::uint64_t offset, std::string* error);
  ~ExtFiles();
  ExtFiles(const ExtFiles&) = delete;
  ExtFiles& operator=(const ExtFiles&) = delete;

  // Its journal holds changes not yet written to their places (the system was
  // not shut down cleanly): writing beside them would be undone by the replay.
  bool needs_recovery() const;

  enum class Kind { missing, regular, link, other };
  // What `path` (absolute) is; a symbolic link in its last part is not followed.
  Kind kind(const std::string& path) const;
  // A regular file's bytes, when it is at most `limit` long.
  std::optional<std::string> read(const std::string& path, std::size_t limit) const;
  // Replaces a regular file's contents, or makes the file (owner root, mode
  // 0644) in its existing folder when it is missing. False with a reason.
  bool write(const std::string& path, std::string_view content, std::string* error);
  // Writes everything out; false with a reason. The destructor closes too.
  bool close(std::string* error);

 private:
  struct Handle;
  explicit ExtFiles(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> handle_;
};

}  // namespace kestrelon::client
