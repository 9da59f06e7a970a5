#include "client_boot_files.h"

#include <unistd.h>

#include <cstdio>

#include "builder_error.h"
#include "debian_files.h"
#include "platform/program_exec.h"
#include "program_run.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;

fs::path default_client_program() {
  const fs::path beside = fs::path(program_folder()) / "kestrelon-client";
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  if (const auto on_path = find_program("kestrelon-client")) return *on_path;
  throw BuilderError("kestrelon-client is missing: install the package kestrelon-client, or name the program with "
                     "--client PATH");
}

ClientBootFiles write_client_boot_files(const ClientSources& sources, const fs::path& folder) {
  if (::access(sources.client.c_str(), X_OK) != 0) {
    throw BuilderError("--client " + sources.client.string() + " is not an executable program");
  }
  InitramfsParts parts;
  parts.busybox = require_file(kBusybox);
  parts.client = sources.client;
  parts.kernel = find_kernel(sources.kernel, sources.cache);
  std::error_code ec;
  fs::copy_file(parts.kernel.image, folder / "vmlinuz", fs::copy_options::overwrite_existing, ec);
  if (ec) throw BuilderError("cannot copy the kernel " + parts.kernel.image.string() + ": " + ec.message());
  fs::permissions(folder / "vmlinuz", fs::perms(0644), ec);
  ClientBootFiles files;
  files.kernel_version = parts.kernel.version;
  files.initramfs = write_initramfs(parts, folder / "initrd.img");
  return files;
}

std::string size_text(const fs::path& path) {
  std::uintmax_t bytes = 0;
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    for (const auto& entry : fs::recursive_directory_iterator(path, ec)) {
      if (entry.is_regular_file(ec)) bytes += entry.file_size(ec);
    }
  } else {
    bytes = fs::file_size(path, ec);
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace kestrelon::builder
