#include "file_system_growth.h"

#include <cerrno>
#include <cstring>
#include <optional>

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

std::optional<FileSystemProbe> probe_partition(const GrowthJob& job) {
  std::string error;
  const auto disk = DiskDevice::open(job.disk_path, false, &error);
  std::vector<std::uint8_t> head(kProbeBytes);
  if (!disk || !disk->read_at(job.growth.start_lba * kSectorSize, head)) return std::nullopt;
  return probe_file_system(head, job.growth.new_sectors * kSectorSize);
}

// fatresize grows the partition with the file system, to an end of its own
// choosing and only when asked for less than the whole room (whole MiB, one
// short of the end); the table planned here then gives the partition all of
// it. The tool writes "NO NAME" over the boot sector's label: it is put back.
void grow_fat(const GrowthJob& job, const FileSystemProbe& before, std::vector<std::string>& notes) {
  const Growth& g = job.growth;
  constexpr std::uint64_t kMiB = 1 << 20;
  const std::uint64_t room = (g.new_sectors * kSectorSize / kMiB - 1) * kMiB;
  if (room > g.old_sectors * kSectorSize) {
    run({"fatresize", "--force-yes", "--size", std::to_string(room), "--partition", std::to_string(g.number),
         job.disk_path},
        notes);
  }
  write_table(job, notes);
  const auto after = probe_partition(job);
  if (!after || before.label_offset == 0 || after->label_offset != before.label_offset ||
      after->label == before.label) {
    return;
  }
  std::string error;
  auto disk = DiskDevice::open(job.disk_path, true, &error);
  std::string label = before.label;
  label.resize(11, ' ');
  if (!disk || !disk->write_at(g.start_lba * kSectorSize + before.label_offset,
                               std::span(reinterpret_cast<const std::uint8_t*>(label.data()), label.size()))) {
    notes.push_back("putting back the volume label failed: " + (disk ? std::string(std::strerror(errno)) : error));
  }
}

void grow_on_device(const GrowthJob& job, std::vector<std::string>& notes) {
  const Growth& g = job.growth;
  std::string error;
  const auto device = PartitionDevice::open(job.disk_path, g.number, g.start_lba, g.new_sectors, &error);
  if (!device) {
    notes.push_back(error);
    return;
  }
  if (job.kind == FileSystemKind::ext) {
    // resize2fs wants a file system checked since it was last mounted; e2fsck -p
    // mends what is safe and fails on anything else.
    if (run({"e2fsck", "-f", "-p", device->path()}, notes, true)) run({"resize2fs", device->path()}, notes);
    return;
  }
  run({"ntfsresize", "--force", "--no-progress-bar", device->path()}, notes);
}

}  // namespace

std::vector<std::string> grow_file_system(const GrowthJob& job) {
  const Growth& g = job.growth;
  std::vector<std::string> notes;
  const auto before = probe_partition(job);
  if (is_fat(job.kind) && before) {
    grow_fat(job, *before, notes);
  } else if (job.kind == FileSystemKind::ext || job.kind == FileSystemKind::ntfs) {
    grow_on_device(job, notes);
  } else {
    notes.push_back("this Client has no tool to grow a file system of that kind");
  }
  // Judged by what the file system now says of itself, not by the tools.
  const auto after = probe_partition(job);
  const std::uint64_t old_bytes = before ? before->bytes : 0, new_bytes = after ? after->bytes : 0;
  std::string head = "partition " + std::to_string(g.number) + " (" + file_system_name(job.kind) + ") grown from " +
                     mib(g.old_sectors) + " to " + mib(g.new_sectors);
  if (new_bytes > old_bytes) {
    head += ", its file system from " + mib(old_bytes / kSectorSize) + " to " + mib(new_bytes / kSectorSize);
  } else {
    head += "; its file system keeps its size";
  }
  notes.insert(notes.begin(), head);
  return notes;
}

}  // namespace kestrelon::client
