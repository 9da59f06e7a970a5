#include "support/image_files.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "net/byte_order.h"

namespace kestrelon::test {

std::uint8_t pattern_byte(std::uint64_t offset) {
  return static_cast<std::uint8_t>((offset * 7 + offset / 1350 * 13 + (offset >> 16)) & 0xff);
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "kestrelon-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void write_pattern_file(const std::string& path, std::uint64_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::uint64_t i = 0; i < length; ++i) bytes[i] = pattern_byte(i);
  write_file(path, bytes);
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> image_bytes(const ImageSpec& shape) {
  std::vector<std::uint8_t> b(shape.length);
  for (std::uint64_t i = 0; i < shape.length; ++i) b[i] = pattern_byte(i);
  auto put = [&](std::size_t at, std::uint8_t v) {
    if (at < b.size()) b[at] = v;
  };
  for (std::size_t i = 0; i < shape.description.size(); ++i) put(256 + i, static_cast<std::uint8_t>(shape.description[i]));
  put(256 + shape.description.size(), 0);
  put(5513, static_cast<std::uint8_t>(shape.partition_count));
  for (std::size_t k = 0; k < shape.full_sectors.size(); ++k) {
    if (7066 + 24 * k + 4 <= b.size()) write_le32(b, 7066 + 24 * k, shape.full_sectors[k]);
  }
  for (std::size_t k = 0; k < shape.data_sectors.size(); ++k) {
    if (7070 + 24 * k + 4 <= b.size()) write_le32(b, 7070 + 24 * k, shape.data_sectors[k]);
  }
  return b;
}

}  // namespace kestrelon::test
