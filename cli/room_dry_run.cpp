#include "room_dry_run.h"

#include <cstdio>

#include "client_choice.h"
#include "commands/copy_naming.h"
#include "commands/room_targets.h"
#include "json_text.h"
#include "model/client_row_text.h"
#include "transfer/image_file.h"

namespace kestrelon::cli {

namespace {

void print_left_out(TransferOutput& output, const std::string& name, const std::string& reason) {
  output.text("would leave out " + printable(name) + ": " + printable(reason));
}

// The disk a PC would receive the image on: as it announces it when listed,
// else as the group stores it.
struct PlannedDisk {
  int number = 0;  // 1-based; 0: each Client's own choice (a Client named, off)
  std::int64_t size_mb = -1;
};

PlannedDisk planned_disk(ControllerCore& core, const std::string& found_at, const CheckListModel& rows, int row,
                         int asked_disk) {
  if (const auto address = address_from_padded_text(found_at)) {
    SemaphoreGuard hold(core.locks().client_table);
    const int c = core.tables().find_client(*address);
    if (c >= 0) {
      const ClientRecord& client = core.tables().clients[static_cast<std::size_t>(c)];
      return {client.selected_disk + 1, client.selected_disk_sectors() >> 11};
    }
  }
  if (rows.cell(row, 3).empty()) return {asked_disk, -1};
  const ClientRowFields f = fields_from_cells(rows.cell(row, 0), rows.cell(row, 1), rows.cell(row, 2), rows.cell(row, 3));
  return {f.disk_index + 1, f.size_mb};
}

std::string disk_text(const PlannedDisk& d) {
  if (d.number == 0) return "its target disk";
  return "disk " + std::to_string(d.number) + (d.size_mb >= 0 ? " (" + std::to_string(d.size_mb) + "Mb)" : "");
}

}  // namespace

bool dry_run(ControllerCore& core, CopyFlow& flow, TransferOutput& output, const CopyRequest& request) {
  output.message("dry run: nothing is sent");
  core.copy_report().reset();
  for (const LeftOutClient& c : request.left_out) print_left_out(output, c.name, c.reason);
  ImageFile image;
  const bool goes_ahead = flow.prepare(request, image);
  // Those the disk space check left out.
  for (const TargetState& t : core.copy_report().states()) print_left_out(output, t.name, t.reason);
  if (!goes_ahead) {
    output.text("the copy would not start");
    return false;
  }
  const std::uint64_t bytes = image.length().value_or(0);
  image.close();
  std::vector<std::string> lines;
  {
    SemaphoreGuard hold(core.locks().client_table);
    const ClientTables& t = core.tables();
    for (int i = 0; i < t.target_count; ++i) {
      const ClientRecord& target = t.targets[static_cast<std::size_t>(i)];
      const int c = t.find_client(target.address);
      const ClientRecord& client = c >= 0 ? t.clients[static_cast<std::size_t>(c)] : target;
      lines.push_back("  " + printable(client.name_text()) + "  " + client.address.text() + "  disk " +
                      std::to_string(client.selected_disk + 1) + " (" +
                      std::to_string(client.selected_disk_sectors() >> 11) + "Mb)");
    }
  }
  output.text("would copy " + request.image_path + " (" + std::to_string(bytes) + " bytes) to " +
              std::to_string(lines.size()) + " client(s):");
  for (const std::string& l : lines) output.text(l);
  // The names the PCs would take after the copy.
  if (!request.keep_names) {
    const CopyNamePlan names = plan_copy_names(core, request.group);
    if (!names.problem.empty()) output.text("no names: " + names.problem);
    if (names.any_plan) {
      for (const NamedTarget& t : names.targets) output.naming(t);
    }
  }
  return true;
}

bool room_dry_run(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args, RoomPcs& pcs,
                  const std::string& image, std::uint64_t image_sectors, int discover_seconds) {
  output.message("dry run: nothing is sent");
  discover_clients(core, ui, pcs.names(), discover_seconds);
  const std::vector<ListedState> states = pcs.look(core, image_sectors, args.include_protected);
  const std::vector<InventoryEntry> inventory = core.inventory().read().entries;
  const RoomPlan plan = plan_room({.pcs = &pcs.rows(),
                                   .listed = states,
                                   .inventory = inventory,
                                   .image_sectors = image_sectors,
                                   .include_protected = args.include_protected,
                                   .wake = args.wake,
                                   .dry_seams = silent_wake_seams()});
  const int count = static_cast<int>(plan.pcs.size());
  const int wanted = args.min_clients > 0 && args.min_clients < count ? args.min_clients : count;
  Json targets = Json::array();
  std::vector<std::string> lines;
  int on_now = 0;
  for (std::size_t i = 0; i < plan.pcs.size(); ++i) {
    const int row = plan.rows[i];
    const std::string& found_at = pcs.found_at()[static_cast<std::size_t>(row)];
    const PlannedDisk disk = planned_disk(core, found_at, pcs.rows(), row, pcs.disk());
    Json target{{"name", plan.pcs[i].name}, {"disk", disk.number}};
    if (disk.size_mb >= 0) target["size_mb"] = disk.size_mb;
    std::string state;
    if (const auto address = address_from_padded_text(found_at)) {
      ++on_now;
      target["address"] = address->text();
      target["state"] = "on";
      state = address->text() + "  on now";
    } else if (args.wake) {
      const WakeOutcome o = wake_pcs(inventory, {plan.pcs[i]}, directed_addresses(args), silent_wake_seams()).front();
      target["state"] = "would wake";
      target["mac"] = o.mac ? o.mac->text() : "";
      std::string to;
      for (Ipv4Address a : o.sent_to) to += (to.empty() ? "" : ", ") + a.text();
      state = "would wake it (" + (o.mac ? o.mac->text() : std::string()) + ", to " + to + ")";
    } else {
      target["state"] = "off";
      state = "off now: waited for";
    }
    targets.push_back(target);
    lines.push_back("  " + printable(plan.pcs[i].name) + "  " + disk_text(disk) + "  " + state);
  }
  Json left_out = Json::array();
  for (const LeftOutClient& c : plan.left_out) left_out.push_back({{"name", c.name}, {"reason", c.reason}});
  if (output.json()) {
    std::printf("%s\n", json_text(Json{{"event", "dry_run"},
                                       {"image", image},
                                       {"wait_seconds", args.max_wait_seconds()},
                                       {"min_clients", wanted},
                                       {"targets", targets},
                                       {"left_out", left_out}})
                            .c_str());
    std::fflush(stdout);
    return count > 0;
  }
  if (count == 0) {
    output.text("none of the " + std::to_string(pcs.rows().row_count()) + " PC(s) can receive the image");
  } else {
    output.text("would wait up to " + std::to_string(args.max_wait_seconds()) + " s for " + std::to_string(wanted) +
                " of the " + std::to_string(count) + " PC(s) that can receive the image (" + std::to_string(on_now) +
                " on now), then copy to those ready");
    output.text("would copy " + image + " to " + std::to_string(count) + " PC(s):");
    for (const std::string& l : lines) output.text(l);
  }
  for (const LeftOutClient& c : plan.left_out) print_left_out(output, c.name, c.reason);
  return count > 0;
}

}  // namespace kestrelon::cli
