#include "cpio_archive.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "builder_error.h"

namespace kestrelon::builder {
namespace {

void pad4(std::string& data) {
  while (data.size() % 4 != 0) data.push_back('\0');
}

std::string hex8(std::uint32_t v) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

std::string parent_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool CpioArchive::begin(const std::string& path) {
  if (path.empty() || path[0] != '/') throw BuilderError("initramfs path '" + path + "' is not absolute");
  if (paths_.count(path)) return false;
  if (const std::string parent = parent_of(path); !parent.empty()) add_directory(parent);
  paths_.insert(path);
  return true;
}

void CpioArchive::entry(const std::string& path, std::uint32_t mode, const std::string& bytes,
                        std::uint32_t rdev_major, std::uint32_t rdev_minor) {
  const std::string name = path.substr(1);  // stored without the leading slash
  const bool directory = S_ISDIR(mode);
  const std::uint32_t fields[] = {next_inode_++, mode, 0, 0, directory ? 2u : 1u, 0,
                                  static_cast<std::uint32_t>(bytes.size()), 0, 0, rdev_major, rdev_minor,
                                  static_cast<std::uint32_t>(name.size() + 1), 0};
  data_ += "070701";
  for (const std::uint32_t f : fields) data_ += hex8(f);
  data_ += name;
  data_.push_back('\0');
  pad4(data_);
  data_ += bytes;
  pad4(data_);
}

void CpioArchive::add_directory(const std::string& path) {
  if (begin(path)) entry(path, S_IFDIR | 0755, {});
}

void CpioArchive::add_file(const std::string& path, const std::string& bytes, std::uint32_t mode) {
  if (begin(path)) entry(path, S_IFREG | (mode & 07777), bytes);
}

void CpioArchive::add_file_from(const std::string& path, const std::filesystem::path& source) {
  std::ifstream in(source, std::ios::binary);
  if (!in) throw BuilderError("cannot read " + source.string());
  std::stringstream bytes;
  bytes << in.rdbuf();
  struct stat st {};
  const std::uint32_t mode = ::stat(source.c_str(), &st) == 0 && (st.st_mode & 0111) ? 0755 : 0644;
  add_file(path, bytes.str(), mode);
}

void CpioArchive::add_symlink(const std::string& path, const std::string& target) {
  if (begin(path)) entry(path, S_IFLNK | 0777, target);
}

void CpioArchive::add_char_device(const std::string& path, std::uint32_t major, std::uint32_t minor) {
  if (begin(path)) entry(path, S_IFCHR | 0600, {}, major, minor);
}

void CpioArchive::write_gzip(const std::filesystem::path& target) {
  std::string archive = data_;
  const std::uint32_t trailer_fields[] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 11, 0};
  archive += "070701";
  for (const std::uint32_t f : trailer_fields) archive += hex8(f);
  archive += std::string("TRAILER!!!") + '\0';
  pad4(archive);

  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw BuilderError("zlib could not start compressing the initramfs");
  }
  std::string packed(deflateBound(&z, archive.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(archive.data());
  z.avail_in = static_cast<uInt>(archive.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  const int rc = deflate(&z, Z_FINISH);
  packed.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw BuilderError("compressing the initramfs failed");

  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(packed.data(), static_cast<std::streamsize>(packed.size()));
  out.close();
  if (!out) throw BuilderError("cannot write " + target.string());
}

}  // namespace kestrelon::builder
