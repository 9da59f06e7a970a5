#pragma once
// Image files for tests: a temporary folder that removes itself, files whose
// every byte is a known function of its offset (so a block sent in the wrong
// place shows), and the image fields the Controller reads.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrelon::test {

// The byte at `offset` of a pattern file: differs between neighbouring blocks at
// the same position, and never repeats with a period of 1350.
std::uint8_t pattern_byte(std::uint64_t offset);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `length` pattern bytes to `path`.
void write_pattern_file(const std::string& path, std::uint64_t length);
void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_file(const std::string& path);

// `length` pattern bytes with an image's fields set: description at 256 (with
// its zero), partition count at 5513, full and data sizes at 7066/7070 + 24 k.
struct ImageSpec {
  std::uint64_t length = 8000;
  std::string description;
  int partition_count = 0;
  std::vector<std::uint32_t> full_sectors;
  std::vector<std::uint32_t> data_sectors;
};
std::vector<std::uint8_t> image_bytes(const ImageSpec& shape);

}  // namespace kestrelon::test
