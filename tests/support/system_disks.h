#pragma once
// Disks holding the systems a copy names, made without mounting anything: a
// Linux system on ext4 (mkfs.ext4 -d), a Windows on NTFS (mkntfs, then its
// folders and SYSTEM hive written through ntfs-3g's library; the hive made by
// hivex's own hivexregedit), a FAT partition, as MBR partitions of one size.
// And the readers that check them afterwards with the file systems' own tools.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrelon::test {

// An empty registry hive: a base block and one bin holding the root key and its
// security record, which hivexregedit --merge starts from.
std::vector<std::uint8_t> empty_hive();

enum class Volume { linux_ext4, windows_ntfs, fat, data_ext4 };

struct SystemsDisk {
  std::string master_name = "MASTER-PC";  // the name its systems carry
  std::string machine_id = "0123456789abcdef0123456789abcdef";
  // A SYSTEM hive whose logs hold changes not yet in it (an unclean Windows).
  bool unclean_hive = false;
};

// Writes a disk of `mib` MiB with `volumes` as partitions 1, 2, ... "" or what failed.
std::string make_systems_disk(const std::filesystem::path& disk, int mib, const std::vector<Volume>& volumes,
                              const SystemsDisk& spec = {});

// Partition `number`'s bytes of `disk` (MBR), copied into `out`; false when it has none.
bool extract_partition(const std::filesystem::path& disk, int number, const std::filesystem::path& out);
// A file of the ext file system in `volume` (debugfs), of the NTFS one (ntfscat),
// a value of a hive file (hivexget); "" when missing.
std::string ext_file(const std::filesystem::path& volume, const std::string& path);
std::string ntfs_file(const std::filesystem::path& volume, const std::string& path);
std::string hive_value(const std::filesystem::path& hive, const std::string& key, const std::string& value);

}  // namespace kestrelon::test
