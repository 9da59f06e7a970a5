#pragma once
// What stands between a restore and a disk: the disks it refuses (the medium the
// PC booted from), and what it does before it writes the first partition. It
// wipes the old partition table (MBR, extended boot records, both GPT copies)
// and the start and backup superblocks of every old file system, and leaves a
// marker in sector 0 that names the image. Until the restore has ended whole and
// written the new table last, the disk has no partition table, no file system a
// checker could bring back, and says why to whoever reads it.
#include <cstdint>
#include <optional>
#include <string>

#include "disk_device.h"

namespace kestrelon::client {

// The FAT volume label of the client builder's boot partition (its USB image).
inline constexpr const char* kBootMediumLabel = "KSTRLN-BOOT";

// Whether the disk holds a FAT file system labelled kBootMediumLabel, in a
// partition or on the whole disk.
bool is_boot_medium(const DiskDevice& disk);

// Why the disk must not be restored onto; nothing when it may.
std::optional<std::string> restore_refusal(const DiskDevice& disk);

// Makes the disk's old contents unusable as described above; false (with a
// message) when it cannot write.
bool wipe_for_restore(DiskDevice& disk, const std::string& image_name, std::string* error);

// The name of the image whose restore broke off on this disk, read from the
// marker in its sector 0; nothing for any other disk.
std::optional<std::string> broken_copy_of(const DiskDevice& disk);

}  // namespace kestrelon::client
