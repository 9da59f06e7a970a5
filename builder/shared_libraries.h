#pragma once
// The shared libraries a program needs to start, as the dynamic loader finds
// them on this machine (ldd), so a copy of the program runs in the initramfs.
#include <filesystem>
#include <string>
#include <vector>

namespace kestrelon::builder {

struct SharedLibrary {
  std::string name_path;                // the path the loader looks for ("/lib64/ld-linux-x86-64.so.2")
  std::filesystem::path file;           // the file behind it on this machine
};

// Empty for a static program; throws a BuilderError when ldd cannot tell.
std::vector<SharedLibrary> shared_libraries(const std::filesystem::path& program);

}  // namespace kestrelon::builder
