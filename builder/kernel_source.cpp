#include "kernel_source.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "builder_error.h"
#include "program_run.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;
namespace {

const char* const kHowToGetOne =
    "install Debian's kernel (apt-get install linux-image-amd64), or download its package without "
    "installing it (apt-get download linux-image-VERSION-amd64, where 'apt-cache depends linux-image-amd64' "
    "names VERSION) and give it with --kernel FILE.deb";

// The kernel of `version` under `root`, when both its image and its modules are there.
std::optional<KernelFiles> kernel_in(const fs::path& root, const std::string& version) {
  const fs::path image = root / "boot" / ("vmlinuz-" + version);
  for (const char* lib : {"lib/modules", "usr/lib/modules"}) {
    const fs::path modules = root / lib / version;
    std::error_code ec;
    if (fs::is_regular_file(image, ec) && fs::is_directory(modules / "kernel", ec)) {
      return KernelFiles{version, image, modules};
    }
  }
  return std::nullopt;
}

// Every kernel under `root`, newest first.
std::vector<KernelFiles> kernels_in(const fs::path& root) {
  std::vector<KernelFiles> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root / "boot", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("vmlinuz-", 0) != 0) continue;
    if (auto k = kernel_in(root, name.substr(8))) found.push_back(*k);
  }
  std::sort(found.begin(), found.end(), [](const KernelFiles& a, const KernelFiles& b) {
    return ::strverscmp(a.version.c_str(), b.version.c_str()) > 0;
  });
  return found;
}

// Debian's kernel package leaves modules.dep to depmod at installation.
void ensure_module_index(const KernelFiles& kernel) {
  if (fs::exists(kernel.modules / "modules.dep")) return;
  const fs::path base = kernel.modules.parent_path().parent_path().parent_path();
  const fs::path depmod = require_program("depmod", "kmod");
  run_or_throw({depmod.string(), "-b", base.string(), kernel.version}, "indexing the kernel's modules (depmod)");
}

KernelFiles unpack_package(const fs::path& package, const fs::path& cache) {
  std::error_code ec;
  if (!fs::is_regular_file(package, ec)) throw BuilderError("the kernel package " + package.string() + " does not exist");
  const fs::path target = cache / "kernels" / package.stem();
  const fs::path done = target / ".unpacked";
  if (!fs::exists(done)) {
    const fs::path dpkg_deb = require_program("dpkg-deb", "dpkg");
    fs::create_directories(target.parent_path(), ec);
    if (ec) throw BuilderError("cannot make the cache folder " + target.parent_path().string() + ": " + ec.message());
    const fs::path partial = target.string() + ".partial";
    fs::remove_all(partial, ec);
    fs::remove_all(target, ec);
    run_or_throw({dpkg_deb.string(), "-x", package.string(), partial.string()},
                 "unpacking the kernel package " + package.string());
    fs::rename(partial, target, ec);
    if (ec) throw BuilderError("cannot move the unpacked kernel into " + target.string() + ": " + ec.message());
  }
  const auto kernels = kernels_in(target);
  if (kernels.empty()) {
    throw BuilderError(package.string() + " holds no kernel image with modules (a meta-package?); " + kHowToGetOne);
  }
  ensure_module_index(kernels.front());
  std::ofstream(done).put('\n');
  return kernels.front();
}

}  // namespace

fs::path default_cache_dir() {
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') return fs::path(xdg) / "kestrelon-builder";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".cache" / "kestrelon-builder";
}

KernelFiles find_kernel(const std::string& given, const fs::path& cache) {
  if (!given.empty() && given.size() > 4 && given.compare(given.size() - 4, 4, ".deb") == 0) {
    return unpack_package(given, cache);
  }
  if (!given.empty()) {
    std::error_code ec;
    if (!fs::is_directory(given, ec)) throw BuilderError("--kernel " + given + " is neither a .deb file nor a folder");
    const auto kernels = kernels_in(given);
    if (kernels.empty()) {
      throw BuilderError("no kernel in " + given + " (looked for boot/vmlinuz-VERSION with lib/modules/VERSION); " +
                         kHowToGetOne);
    }
    ensure_module_index(kernels.front());
    return kernels.front();
  }
  utsname uts{};
  if (::uname(&uts) == 0) {
    if (auto running = kernel_in("/", uts.release); running && fs::exists(running->modules / "modules.dep")) {
      return *running;
    }
  }
  const auto installed = kernels_in("/");
  if (installed.empty()) throw BuilderError(std::string("no Linux kernel found on this machine: ") + kHowToGetOne);
  ensure_module_index(installed.front());
  return installed.front();
}

}  // namespace kestrelon::builder
