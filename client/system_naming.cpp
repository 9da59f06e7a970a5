#include "system_naming.h"

#include "disk_device.h"
#include "ext_files.h"
#include "file_system_probe.h"
#include "linux_naming.h"
#include "ntfs_files.h"
#include "windows_naming.h"

namespace kestrelon::client {
namespace {

FileSystemKind kind_of(DiskDevice& disk, const NamingPartition& p) {
  std::vector<std::uint8_t> head(kProbeBytes);
  if (p.sectors * kSectorSize < kProbeBytes || !disk.read_at(p.start_lba * kSectorSize, head)) {
    return FileSystemKind::unknown;
  }
  return probe_file_system(head, p.sectors * kSectorSize).kind;
}

// The system on one partition named, or nothing when it holds none we know.
std::optional<SystemNaming> name_partition(const std::string& disk, FileSystemKind kind, const NamingPartition& p,
                                           const std::string& name) {
  std::string error;
  const std::uint64_t offset = p.start_lba * kSectorSize;
  std::optional<SystemNaming> named;
  if (kind == FileSystemKind::ext) {
    auto files = ExtFiles::open(disk, offset, &error);
    if (!files) return SystemNaming{"an ext file system", false, {}, error};
    named = name_linux(*files, name);
    if (named && named->written && !files->close(&error)) {
      named->written = false;
      named->why_not = error;
    }
  } else if (kind == FileSystemKind::ntfs) {
    named = name_windows(disk, offset, p.sectors * kSectorSize, name);
  }
  return named;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : ", ") + p;
  return text;
}

}  // namespace

NamingResult name_systems(const std::string& disk_path, const std::vector<NamingPartition>& partitions,
                          const std::string& name) {
  NamingResult result;
  std::string error;
  auto disk = DiskDevice::open(disk_path, false, &error);
  if (!disk) {
    result.outcome = wire::NamingOutcome::failed;
    result.lines.push_back("computer name " + name + " not written: " + error);
    return result;
  }
  bool named = false, failed = false;
  for (const NamingPartition& p : partitions) {
    const FileSystemKind kind = kind_of(*disk, p);
    const auto system = name_partition(disk_path, kind, p, name);
    if (!system) continue;
    const std::string where = system->system + " on partition " + std::to_string(p.number);
    if (system->written) {
      named = true;
      result.lines.push_back("computer name " + name + " written into " + where + ": " + joined(system->changed));
    } else {
      failed = true;
      result.lines.push_back("computer name " + name + " not written into " + where + ": " + system->why_not);
    }
  }
  if (!named && !failed) {
    result.outcome = wire::NamingOutcome::left_as_is;
    result.lines.push_back("computer name " + name +
                           " not written: the copied disk holds no system this Client recognises (a Linux system on "
                           "ext2/3/4, a Windows on NTFS); left as it is");
    return result;
  }
  result.outcome = failed ? wire::NamingOutcome::failed : wire::NamingOutcome::named;
  return result;
}

bool holds_windows(const std::string& disk_path, const std::vector<NamingPartition>& partitions) {
  std::string error;
  auto disk = DiskDevice::open(disk_path, false, &error);
  if (!disk) return false;
  for (const NamingPartition& p : partitions) {
    if (kind_of(*disk, p) != FileSystemKind::ntfs) continue;
    if (auto files = NtfsFiles::open(disk_path, p.start_lba * kSectorSize, p.sectors * kSectorSize, false, &error);
        files && files->exists(kSystemHivePath)) {
      return true;
    }
  }
  return false;
}

}  // namespace kestrelon::client
