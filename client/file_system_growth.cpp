#include "file_system_growth.h"

#include <cerrno>
#include <cstring>

#include "disk_device.h"
#include "external_tool.h"
#include "partition_device.h"

namespace kestrelon::client {
namespace {

std::string mib(std::uint64_t sectors) { return std::to_string(sectors >> 11) + " MiB"; }

// Runs one tool; false with a line saying why.
bool run(const std::vector<std::string>& argv, std::vector<std::string>& notes, bool accept_one = false) {
  std::string why;
  const auto r = run_tool(argv, &why);
  if (!r) {
    notes.push_back(why);
    return false;
  }
  if (r->status == 0 || (accept_one && r->status == 1)) return true;
  notes.push_back(argv[0] + " failed (status " + std::to_string(r->status) + "): " + last_line(r->output));
  return false;
}

bool write_table(const GrowthJob& job, std::vector<std::string>& notes) {
  std::string error;
  auto disk = DiskDevice::open(job.disk_path, true, &error);
  if (!disk) {
    notes.push_back(error);
    return false;
  }
  for (const image::TableSector& t : job.grown_table) {
    if (!disk->write_at(t.lba * kSectorSize, t.bytes)) {
      notes.push_back("writing the partition table of " + job.disk_path + " failed: " + std::strerror(errno));
      return false;
    }
  }
  if (!disk->sync()) notes.push_back("flushing " + job.disk_path + " failed: " + std::strerror(errno));
  disk->reread_partitions();
  return true;
}

bool grow_fat(const GrowthJob& job, std::vector<std::string>& notes) {
  const Growth& g = job.growth;
  return run({"fatresize", "--force-yes", "--size", std::to_string(g.new_sectors * kSectorSize), "--partition",
              std::to_string(g.number), job.disk_path},
             notes);
}

bool grow_on_device(const GrowthJob& job, std::vector<std::string>& notes) {
  const Growth& g = job.growth;
  std::string error;
  const auto device = PartitionDevice::open(job.disk_path, g.number, g.start_lba, g.new_sectors, &error);
  if (!device) {
    notes.push_back(error);
    return false;
  }
  if (job.kind == FileSystemKind::ext) {
    // resize2fs wants a file system checked since it was last mounted; e2fsck -p
    // mends what is safe and fails on anything else.
    return run({"e2fsck", "-f", "-p", device->path()}, notes, true) && run({"resize2fs", device->path()}, notes);
  }
  return run({"ntfsresize", "--force", "--no-progress-bar", device->path()}, notes);
}

}  // namespace

std::vector<std::string> grow_file_system(const GrowthJob& job) {
  const Growth& g = job.growth;
  std::vector<std::string> notes;
  const std::string what = "partition " + std::to_string(g.number) + " (" + file_system_name(job.kind) + ")";
  bool grown = false;
  bool partition_grown = true;
  if (is_fat(job.kind)) {
    // Written at its old size so far: grown by the tool, or by us when it fails.
    grown = grow_fat(job, notes);
    if (!grown) partition_grown = write_table(job, notes);
  } else if (job.kind == FileSystemKind::ext || job.kind == FileSystemKind::ntfs) {
    grown = grow_on_device(job, notes);
  } else {
    notes.push_back("this Client has no tool to grow a file system of that kind");
  }
  const std::string sizes = " from " + mib(g.old_sectors) + " to " + mib(g.new_sectors);
  std::string head = what + " keeps its size of " + mib(g.old_sectors);
  if (grown) {
    head = what + " and its file system grown" + sizes + " to fill the disk";
  } else if (partition_grown) {
    head = what + " grown" + sizes + "; its file system keeps its size";
  }
  notes.insert(notes.begin(), head);
  return notes;
}

}  // namespace kestrelon::client
