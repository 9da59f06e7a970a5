#pragma once
// Running the Debian tools the builder composes from (dpkg-deb, depmod, ldd,
// mkfs.vfat, mcopy, syslinux) and finding them on the search path.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrelon::builder {

struct ProgramResult {
  int status = -1;     // exit status; 128 + signal; -1 when it could not start
  std::string output;  // standard output and error together
};

// Runs argv (argv[0] looked up on PATH) to its end, with no standard input.
ProgramResult run_program(const std::vector<std::string>& argv);

// Runs argv and throws a BuilderError naming `what` and the program's own words
// when it fails.
std::string run_or_throw(const std::vector<std::string>& argv, const std::string& what);

// The program `name` on PATH or in the system folders (/usr/sbin, /sbin), which
// an administrator's PATH may lack.
std::optional<std::filesystem::path> find_program(const std::string& name);

// find_program, or a BuilderError saying which Debian package to install.
std::filesystem::path require_program(const std::string& name, const std::string& package);

}  // namespace kestrelon::builder
