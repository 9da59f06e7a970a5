#include "transfer/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "net/byte_order.h"

namespace kestrelon {

namespace image {

std::string description_of(std::span<const std::uint8_t> first_bytes) {
  const std::size_t end = std::min(first_bytes.size(), kInformationLength);
  if (end <= kDescriptionOffset) return {};
  const auto begin = first_bytes.begin() + static_cast<long>(kDescriptionOffset);
  const auto stop = std::find(begin, first_bytes.begin() + static_cast<long>(end), std::uint8_t{0});
  return std::string(begin, stop);
}

std::uint64_t PartitionSummary::summed_sectors(bool keep_partition_size) const {
  const auto& sizes = keep_partition_size ? full_sectors : data_sectors;
  std::uint64_t sum = 0;
  for (int k = 0; k < count; ++k) sum += sizes[static_cast<std::size_t>(k)];
  return sum;
}

std::optional<PartitionSummary> decode_summary(std::span<const std::uint8_t, kSummaryLength> block) {
  PartitionSummary s;
  s.count = block[kCountInSummary];
  if (s.count > kMaxPartitions) return std::nullopt;
  for (int k = 0; k < s.count; ++k) {
    const std::size_t entry = static_cast<std::size_t>(k) * kEntryStride;
    s.full_sectors[static_cast<std::size_t>(k)] = read_le32(block, kFullSizeInSummary + entry);
    s.data_sectors[static_cast<std::size_t>(k)] = read_le32(block, kDataSizeInSummary + entry);
  }
  return s;
}

std::string information_text(const std::string& name, std::uint64_t length, const std::string& description) {
  return "File : " + name + "\r\nFile size : " + std::to_string(length >> 20) + "Mb\r\n\r\n" + description;
}

}  // namespace image

ImageFile::~ImageFile() { close(); }

int ImageFile::open(const std::string& path) {
  close();
  // Without O_NONBLOCK, opening a pipe waits for a writer: on the user-interface
  // thread that freezes the window. Only a regular file is an image.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  }
  if (error != 0) {
    ::close(fd);
    return error;
  }
  fd_ = fd;
  path_ = path;
  return 0;
}

void ImageFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string ImageFile::name() const {
  const auto slash = path_.find_last_of('/');
  return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

std::optional<std::uint64_t> ImageFile::length() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

long ImageFile::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (fd_ < 0) return -1;
  std::size_t got = 0;
  while (got < out.size()) {
    const ssize_t n = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;  // end of file
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

SummaryRead ImageFile::read_summary() const {
  SummaryRead result;
  const auto len = length();
  if (!len) {
    result.error = "Could not read the image file " + path_ + ".";
    return result;
  }
  if (*len < image::kHeaderLength) {
    result.error = "The image file " + path_ + " is too short to be an image (" + std::to_string(*len) +
                   " bytes; an image holds at least " + std::to_string(image::kHeaderLength) +
                   "). Nothing was copied.";
    return result;
  }
  std::array<std::uint8_t, image::kSummaryLength> block{};
  if (read_at(image::kSummaryOffset, block) != static_cast<long>(block.size())) {
    result.error = "Could not read the partition summary of " + path_ + ".";
    return result;
  }
  result.summary = image::decode_summary(block);
  if (!result.summary) {
    result.error = "The image file " + path_ + " claims " + std::to_string(block[image::kCountInSummary]) +
                   " partitions; an image holds at most " + std::to_string(image::kMaxPartitions) +
                   ". The file is damaged or not an image. Nothing was copied.";
  }
  return result;
}

std::string ImageFile::description() const {
  std::array<std::uint8_t, image::kInformationLength> first{};
  const long n = read_at(0, first);
  if (n < 0) return {};
  return image::description_of(std::span<const std::uint8_t>(first.data(), static_cast<std::size_t>(n)));
}

}  // namespace kestrelon
