#include "image/image_verifier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "image/image_reader.h"

namespace kestrelon::client::image {

namespace {

struct Counter final : ImageReader::Handler {
  std::uint64_t raw_bytes = 0;
  bool on_header(const ImageHeader&) override { return true; }
  bool on_chunk(const ImageReader::Chunk& c) override {
    raw_bytes += c.raw.size();
    return true;
  }
};

}  // namespace

std::optional<Verdict> verify_image(const std::string& path, const VerifyProgress& progress, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  const auto total = static_cast<std::uint64_t>(st.st_size);
  Counter counter;
  ImageReader reader(counter);
  std::vector<std::uint8_t> slice(1 << 20);
  std::uint64_t done = 0;
  bool readable = true;
  while (!reader.failed()) {
    const ssize_t n = ::read(fd, slice.data(), slice.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      readable = false;
      if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
      break;
    }
    if (n == 0) break;
    reader.feed(std::span(slice.data(), static_cast<std::size_t>(n)));
    done += static_cast<std::uint64_t>(n);
    if (progress) progress(done, total);
  }
  ::close(fd);
  if (!readable) return std::nullopt;
  reader.finish();
  return Verdict{!reader.failed(), reader.chunks(), counter.raw_bytes, reader.error()};
}

}  // namespace kestrelon::client::image
