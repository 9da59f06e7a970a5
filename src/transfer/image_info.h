#pragma once
// What an image file holds, for a look inside it without the window
// (kestrelon-cli info): its description, its partition summary with the sizes
// the disk space check uses, its length, and whether it is a well-formed image.
//
// Beyond the fields the Controller reads, the partition number and type are
// taken from where kestrelon-client keeps them (bytes 16 and 17 of each summary
// entry), and for an image with that Client's signature ("KRNI") the length it
// records (bytes 4 to 11) is compared with the file's, which tells a whole image
// from one cut off. An image of another Client program shows those numbers as
// found and is judged by the Controller's fields alone.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrelon {

struct ImagePartitionInfo {
  int number = 0;  // as the Client numbered it (5 and up for logical partitions)
  int type = 0;    // the partition table's type byte
  std::uint64_t full_sectors = 0;
  std::uint64_t data_sectors = 0;
};

struct ImageInfo {
  std::uint64_t length = 0;  // bytes
  std::string description;
  std::vector<ImagePartitionInfo> partitions;
  std::uint64_t full_sectors = 0;  // summed, as the space check with "Keep partition size" on
  std::uint64_t data_sectors = 0;  // summed, as the space check with it off
  std::optional<std::uint64_t> recorded_length;  // kestrelon-client images only
  bool has_summary = false;  // the partition summary was read: the file may be an image
  std::string problem;  // why it is not a well-formed image; empty when it is
  bool well_formed() const { return problem.empty(); }
};

// Reads `path`. Nothing, with `error` set, when the file cannot be opened or read;
// a file that opens but is no image comes back with `problem` set.
std::optional<ImageInfo> read_image_info(const std::string& path, std::string* error);

// "Linux", "FAT32 (LBA)", "NTFS/exFAT", ...; "unknown" for a type without a name here.
const char* partition_type_name(int type);

}  // namespace kestrelon
