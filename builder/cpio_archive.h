#pragma once
// An initial RAM file system as the kernel unpacks it: a cpio archive in the
// "newc" format, gzip-compressed. Written by hand so that device nodes
// (/dev/console) go in without root and every entry belongs to root.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

namespace kestrelon::builder {

class CpioArchive {
 public:
  // Paths are absolute inside the archive ("/bin/busybox"); missing parent
  // folders are added first. A path added twice keeps its first entry.
  void add_directory(const std::string& path);
  void add_file(const std::string& path, const std::string& bytes, std::uint32_t mode = 0644);
  void add_file_from(const std::string& path, const std::filesystem::path& source);
  void add_symlink(const std::string& path, const std::string& target);
  void add_char_device(const std::string& path, std::uint32_t major, std::uint32_t minor);

  bool contains(const std::string& path) const { return paths_.count(path) != 0; }
  std::size_t size() const { return data_.size(); }

  // The archive with its trailer, gzip-compressed at the highest level, written
  // to `target`.
  void write_gzip(const std::filesystem::path& target);

 private:
  bool begin(const std::string& path);
  void entry(const std::string& path, std::uint32_t mode, const std::string& bytes, std::uint32_t rdev_major = 0,
             std::uint32_t rdev_minor = 0);

  std::string data_;
  std::set<std::string> paths_;
  std::uint32_t next_inode_ = 1;
};

}  // namespace kestrelon::builder
