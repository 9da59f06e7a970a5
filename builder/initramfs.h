#pragma once
// The Client's initial RAM file system: busybox, kestrelon-client with the
// libraries it needs, the driver modules in load order, and our init script.
#include <filesystem>
#include <string>
#include <vector>

#include "kernel_source.h"

namespace kestrelon::builder {

struct InitramfsParts {
  KernelFiles kernel;
  std::filesystem::path client;   // kestrelon-client
  std::filesystem::path busybox;  // Debian's busybox-static
};

struct InitramfsSummary {
  std::size_t modules = 0;             // modules carried
  std::vector<std::string> absent;     // wanted drivers this kernel lacks
};

InitramfsSummary write_initramfs(const InitramfsParts& parts, const std::filesystem::path& target);

// A file's bytes, with a BuilderError when it cannot be read.
std::string read_file_bytes(const std::filesystem::path& path);

}  // namespace kestrelon::builder
