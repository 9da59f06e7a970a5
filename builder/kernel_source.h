#pragma once
// Where the boot files' Linux kernel comes from: Debian's kernel package, either
// installed on this machine, given as a package file (unpacked once into a
// cache), or given as a folder holding an unpacked package.
#include <filesystem>
#include <string>

namespace kestrelon::builder {

struct KernelFiles {
  std::string version;            // "6.1.0-57-amd64"
  std::filesystem::path image;    // .../boot/vmlinuz-VERSION
  std::filesystem::path modules;  // .../lib/modules/VERSION, holding modules.dep
};

// `given` empty: the installed kernel (the running one when its files are
// there, else the newest). A path ending in .deb: that package, unpacked into
// `cache`. A folder: the kernel inside it (an unpacked package, or "/").
// Throws a BuilderError that says what to install when nothing is found.
KernelFiles find_kernel(const std::string& given, const std::filesystem::path& cache);

// $XDG_CACHE_HOME/kestrelon-builder, or ~/.cache/kestrelon-builder.
std::filesystem::path default_cache_dir();

}  // namespace kestrelon::builder
