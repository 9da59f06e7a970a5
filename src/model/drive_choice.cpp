#include "model/drive_choice.h"

#include <algorithm>

#include "model/disk_texts.h"

namespace kestrelon {

DriveChoice::DriveChoice(const ClientRecord& client, ClientRegistry& registry) : client_(client), registry_(registry) {
  registry_.set_drive_dialog_open(true);
  drives_.set_check_images(true);
  drives_.set_single_check(true);
  drives_.set_single_selection(true);
  drives_.insert_column("Drive No:", 0, 6);
  drives_.insert_column("Size", 1, 3);
  partitions_.set_check_images(false);
  partitions_.set_single_selection(true);
  partitions_.insert_column("Partition", 0, 6);
  partitions_.insert_column("System", 1, 3);
  partitions_.insert_column("Boot", 2, 3);
  partitions_.insert_column("Type", 3, 3);
  partitions_.insert_column("Size", 4, 3);
}

DriveChoice::~DriveChoice() { registry_.set_drive_dialog_open(false); }

std::string DriveChoice::title() const { return client_.name_text() + kTitleSuffix; }

void DriveChoice::start() {
  drives_.delete_all_rows();
  const int disks = std::min(client_.disk_count, kMaxDisks);
  for (int d = 0; d < disks; ++d) {
    const auto cells = drive_cells(client_.disks[static_cast<std::size_t>(d)]);
    drives_.set_cell(d, 0, cells[0]);
    drives_.set_cell(d, 1, cells[1]);
  }
  drives_.check(client_.selected_disk);
  drives_.select_row(client_.selected_disk);
  fill_partitions();
}

void DriveChoice::fill_partitions() {
  partitions_.delete_all_rows();
  const int drive = drives_.selected_row();
  if (drive < 0 || drive >= std::min(client_.disk_count, kMaxDisks)) return;
  const DiskEntry& disk = client_.disks[static_cast<std::size_t>(drive)];
  const int count = std::min(disk.partition_count, kMaxPartitions);
  for (int p = 0; p < count; ++p) {
    const auto cells = partition_cells(disk.partitions[static_cast<std::size_t>(p)]);
    for (int c = 0; c < static_cast<int>(cells.size()); ++c) partitions_.set_cell(p, c, cells[static_cast<std::size_t>(c)]);
  }
}

std::optional<std::string> DriveChoice::refusal() const {
  if (result() < 0) return std::string(kNoDriveCheckedText);
  return std::nullopt;
}

}  // namespace kestrelon
