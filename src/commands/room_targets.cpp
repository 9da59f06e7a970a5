#include "commands/room_targets.h"

#include <cstdio>

#include "commands/protected_targets.h"
#include "model/client_row_text.h"
#include "transfer/image_file.h"

namespace kestrelon {

namespace {

// 512-byte sectors as decimal megabytes or gigabytes, "2.1 GB".
std::string sectors_text(std::uint64_t sectors) {
  const double bytes = static_cast<double>(sectors) * 512.0;
  char text[32];
  if (bytes >= 1e9) {
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  }
  return text;
}

// What a group stored of a PC that is off: a size in whole megabytes, rounded
// down, so the disk may be up to a megabyte larger; only a disk too small
// whatever that megabyte holds is judged too small.
std::string stored_disk_problem(const CheckListModel& rows, int row, std::uint64_t image_sectors) {
  const std::string target = rows.cell(row, 3);
  if (target.empty() || image_sectors == 0) return "";
  const ClientRowFields f = fields_from_cells(rows.cell(row, 0), rows.cell(row, 1), rows.cell(row, 2), target);
  if (f.disk_index < 0) return "";
  const std::uint64_t largest = (static_cast<std::uint64_t>(f.size_mb) << 11) + 2047;
  return cannot_receive(f.disk_count, f.disk_index, largest, image_sectors);
}

bool stored_protected(const std::vector<InventoryEntry>& inventory, const WakeWanted& pc) {
  const int i = wake_entry(inventory, pc);
  return i >= 0 && inventory[static_cast<std::size_t>(i)].is_protected;
}

}  // namespace

std::string cannot_receive(int disk_count, int disk_index, std::uint64_t disk_sectors, std::uint64_t image_sectors) {
  if (image_sectors <= disk_sectors) return "";
  if (disk_index < 0 || disk_index >= disk_count) {
    return "no disk " + std::to_string(disk_index + 1) + ": it has " + std::to_string(disk_count) + " disk(s)";
  }
  return "disk too small: the image needs " + sectors_text(image_sectors) + ", disk " +
         std::to_string(disk_index + 1) + " has " + sectors_text(disk_sectors);
}

WakeSeams silent_wake_seams() {
  WakeSeams seams = WakeSeams::system();
  seams.send = [](const MacAddress&, Ipv4Address, Ipv4Address) { return 0; };
  return seams;
}

RoomPlan plan_room(const RoomPlanRequest& r) {
  RoomPlan plan;
  const CheckListModel& rows = *r.pcs;
  for (int row = 0; row < rows.row_count(); ++row) {
    const WakeWanted pc{rows.cell(row, 0), rows.cell(row, 1)};
    const auto address = address_from_padded_text(pc.address);
    const auto leave_out = [&](const std::string& why) {
      plan.left_out.push_back({pc.name, address.value_or(Ipv4Address()), why});
    };
    const ListedState state =
        static_cast<std::size_t>(row) < r.listed.size() ? r.listed[static_cast<std::size_t>(row)] : std::nullopt;
    if (state) {
      if (!state->empty()) {
        leave_out(*state);
        continue;
      }
    } else {
      if (!r.include_protected && stored_protected(r.inventory, pc)) {
        leave_out(kProtectedReason);
        continue;
      }
      if (const std::string why = stored_disk_problem(rows, row, r.image_sectors); !why.empty()) {
        leave_out(why + " (as the group stores it)");
        continue;
      }
      if (r.wake) {
        const WakeOutcome wake = wake_pcs(r.inventory, {pc}, {}, r.dry_seams).front();
        if (!wake.woken()) {
          leave_out("offline, and it cannot be woken: " + wake.problem);
          continue;
        }
      }
    }
    plan.pcs.push_back(pc);
    plan.rows.push_back(row);
  }
  return plan;
}

ListedState listed_state(ControllerCore& core, Ipv4Address address, std::uint64_t image_sectors,
                         bool include_protected, const std::vector<InventoryEntry>& inventory) {
  ListedClient listed{.address = address};
  std::string why;
  {
    SemaphoreGuard hold(core.locks().client_table);
    const ClientTables& t = core.tables();
    const int c = t.find_client(address);
    if (c < 0) return std::nullopt;
    const ClientRecord& client = t.clients[static_cast<std::size_t>(c)];
    listed.name = client.name_text();
    if (image_sectors > 0) {
      why = cannot_receive(client.disk_count, client.selected_disk, client.selected_disk_sectors(), image_sectors);
    }
  }
  if (!include_protected) {
    MacLearner& learner = core.mac_learner();
    learner.pass(true);
    listed.mac = learner.mac_of(address);
    if (!protected_targets({listed}, learner.listed(), inventory).empty()) return std::string(kProtectedReason);
  }
  return why;
}

std::optional<std::uint64_t> image_needs_sectors(const std::string& path, bool keep_partition_size) {
  ImageFile image;
  if (image.open(path) != 0) return std::nullopt;
  const SummaryRead summary = image.read_summary();
  if (!summary.summary) return std::nullopt;
  return summary.summary->summed_sectors(keep_partition_size);
}

}  // namespace kestrelon
