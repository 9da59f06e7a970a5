#pragma once
// Virtual disks for tests: raw image files partitioned with sfdisk (Debian's
// fdisk package), filled with reproducible contents.
#include <cstdint>
#include <string>
#include <vector>

#include "support/image_files.h"  // TempDir

namespace kestrelon::test {

// Creates a sparse file of `mib` MiB at `path` and, unless `sfdisk_script` is
// empty, partitions it with `sfdisk` fed that script. False when a tool failed.
bool make_virtual_disk(const std::string& path, std::uint64_t mib, const std::string& sfdisk_script);

// The script of a disk with two primary partitions (the first active), an
// extended partition and two logical ones (numbers 1, 2, 5, 6), on 64 MiB.
std::string mixed_layout_script();

// Writes `length` bytes of seeded pseudo-random data at `offset`, compressible
// (text-like) when `compressible`.
bool fill_region(const std::string& path, std::uint64_t offset, std::uint64_t length, std::uint32_t seed,
                 bool compressible);

std::vector<std::uint8_t> read_region(const std::string& path, std::uint64_t offset, std::uint64_t length);

// Runs a shell command; returns its exit status.
int run_shell(const std::string& command);

}  // namespace kestrelon::test
