#pragma once
// Reads a whole image file of the Client's layout and says whether every chunk
// is sound (kestrelon-cli info --verify): the header, each chunk's method,
// place and checksum, the end chunk, and nothing after it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrelon::client::image {

struct Verdict {
  bool sound = false;
  std::uint64_t chunks = 0;     // chunks read, up to the first fault
  std::uint64_t raw_bytes = 0;  // the bytes they hold, expanded
  std::string problem;          // the first fault; empty when sound
};

// Told the image bytes read so far and the file's length, now and then.
using VerifyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Nothing, with `error` set, when the file cannot be opened or read.
std::optional<Verdict> verify_image(const std::string& path, const VerifyProgress& progress, std::string* error);

}  // namespace kestrelon::client::image
