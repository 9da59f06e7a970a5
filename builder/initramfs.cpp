#include "initramfs.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "boot_templates.h"
#include "builder_error.h"
#include "cpio_archive.h"
#include "kernel_modules.h"
#include "program_run.h"
#include "shared_libraries.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;
namespace {

void add_program(CpioArchive& archive, const std::string& path, const fs::path& program, const std::string& bytes) {
  archive.add_file(path, bytes, 0755);
  for (const SharedLibrary& library : shared_libraries(program)) {
    archive.add_file(library.name_path, read_file_bytes(library.file), 0755);
  }
}

// The Client without its debugging information, when strip is at hand (a build
// tree's program carries tens of megabytes of it; a packaged one is stripped).
std::string client_bytes(const fs::path& client, const fs::path& scratch) {
  if (const auto strip = find_program("strip")) {
    const fs::path stripped = scratch / "kestrelon-client.stripped";
    if (run_program({strip->string(), "--strip-unneeded", "-o", stripped.string(), client.string()}).status == 0) {
      std::string bytes = read_file_bytes(stripped);
      fs::remove(stripped);
      return bytes;
    }
  }
  return read_file_bytes(client);
}

// A module's bytes, uncompressed: busybox's insmod reads plain .ko files.
std::string module_bytes(const fs::path& file) {
  const std::string name = file.filename().string();
  for (const auto& [suffix, tool, package] : {std::tuple{".ko.xz", "xz", "xz-utils"},
                                              std::tuple{".ko.zst", "zstd", "zstd"},
                                              std::tuple{".ko.gz", "gzip", "gzip"}}) {
    const std::string s = suffix;
    if (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) {
      return run_or_throw({require_program(tool, package).string(), "-dc", file.string()},
                          "uncompressing the module " + name);
    }
  }
  return read_file_bytes(file);
}

std::string plain_module_path(const std::string& path) { return path.substr(0, path.find(".ko")) + ".ko"; }

}  // namespace

std::string read_file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BuilderError("cannot read " + path.string());
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

InitramfsSummary write_initramfs(const InitramfsParts& parts, const fs::path& target) {
  CpioArchive archive;
  for (const char* dir : {"/proc", "/sys", "/dev", "/run", "/tmp", "/sbin", "/usr/bin", "/usr/sbin"}) {
    archive.add_directory(dir);
  }
  // The kernel opens /dev/console for init before anything is mounted.
  archive.add_char_device("/dev/console", 5, 1);
  archive.add_file("/init", kInitScript, 0755);
  archive.add_file("/etc/kestrelon/udhcpc.sh", kUdhcpcScript, 0755);
  add_program(archive, "/bin/busybox", parts.busybox, read_file_bytes(parts.busybox));
  archive.add_symlink("/bin/sh", "busybox");
  add_program(archive, "/bin/kestrelon-client", parts.client, client_bytes(parts.client, target.parent_path()));

  const ModulePlan plan = plan_modules(parts.kernel.modules, client_module_names());
  const std::string modules_root = "/lib/modules/" + parts.kernel.version + "/";
  std::string order;
  for (const std::string& path : plan.load_order) {
    const std::string plain = plain_module_path(path);
    archive.add_file(modules_root + plain, module_bytes(parts.kernel.modules / path));
    order += parts.kernel.version + "/" + plain + "\n";
  }
  archive.add_file("/etc/kestrelon/modules", order);
  archive.write_gzip(target);
  return InitramfsSummary{plan.load_order.size(), plan.absent};
}

}  // namespace kestrelon::builder
