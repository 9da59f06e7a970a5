#include "commands/room_watch.h"

#include "model/client_row_text.h"
#include "model/group_rows.h"

namespace kestrelon {

namespace {

std::vector<WakeWanted> wanted_of(const CheckListModel& members) {
  std::vector<WakeWanted> pcs;
  for (int r = 0; r < members.row_count(); ++r) pcs.push_back({members.cell(r, 0), members.cell(r, 1)});
  return pcs;
}

std::string left_text(Tick ms) {
  const Tick s = (ms + 999) / 1000;
  return std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") + std::to_string(s % 60);
}

}  // namespace

RoomWatch::RoomWatch(ControllerCore& core, const CheckListModel& members, bool wake, int min_clients,
                     Tick max_wait_ms, WakeSeams seams)
    : core_(core),
      members_(members),
      room_(core, RoomRequest{.pcs = wanted_of(members), .wake = wake, .min_clients = min_clients,
                              .max_wait_ms = max_wait_ms},
            std::move(seams)) {}

const std::vector<WakeOutcome>& RoomWatch::begin(Tick now) { return room_.begin(now); }

std::vector<std::string> RoomWatch::poll(Tick now) {
  std::vector<std::string> arrived = check_arrived_members(core_, members_);
  room_.poll(ready(), now);
  return arrived;
}

RoomWait::Decision RoomWatch::decision(Tick now) { return room_.poll(ready(), now); }

int RoomWatch::ready() const {
  int n = 0;
  for (int r = 0; r < members_.row_count(); ++r) n += members_.check_state(r) == kChecked ? 1 : 0;
  return n;
}

std::string RoomWatch::status(Tick now) const {
  std::string text = std::to_string(ready()) + " of " + std::to_string(count()) + " PCs ready";
  std::string missing;
  for (int r = 0; r < members_.row_count(); ++r) {
    if (members_.check_state(r) == kChecked) continue;
    if (!missing.empty()) missing += ", ";
    missing += members_.cell(r, 0);
  }
  if (!missing.empty()) text += "; waiting for " + missing;
  return text + " (" + left_text(room_.wait().remaining(now)) + " left)";
}

std::string RoomWatch::end_text() const {
  if (all_here()) return "All " + std::to_string(count()) + " PCs are here.";
  std::string missing;
  for (int r = 0; r < members_.row_count(); ++r)
    if (members_.check_state(r) != kChecked) missing += (missing.empty() ? "" : ", ") + members_.cell(r, 0);
  return std::to_string(ready()) + " of " + std::to_string(count()) + " PCs came up; not " + missing + ".";
}

std::vector<std::string> check_arrived_members(ControllerCore& core, CheckListModel& members) {
  // The absent members alone, matched against the whole list as loading does.
  CheckListModel absent;
  absent.insert_client_columns();
  std::vector<int> from;
  for (int r = 0; r < members.row_count(); ++r) {
    if (members.check_state(r) == kChecked) continue;
    const int row = absent.row_count();
    for (int c = 0; c < 4; ++c) absent.set_cell(row, c, members.cell(r, c));
    from.push_back(r);
  }
  if (from.empty()) return {};
  CheckListModel& main = core.main_client_list().rows();
  // Matched on a copy: the rows the user has checked or unchecked stay as they are.
  CheckListModel probe = main;
  probe.uncheck_all();
  MacLearner& learner = core.mac_learner();
  learner.pass(true);
  const std::vector<InventoryEntry> inventory = core.inventory().read().entries;
  const GroupMacs macs{
      .of_row = [&learner](const std::string& text) -> std::optional<MacAddress> {
        const auto a = address_from_padded_text(text);
        return a ? learner.mac_of(*a) : std::nullopt;
      },
      .of_member = [&inventory](const std::string& name) -> std::optional<MacAddress> {
        const int i = find_entry(inventory, name);
        return i >= 0 ? inventory[static_cast<std::size_t>(i)].mac : std::nullopt;
      }};
  std::vector<std::string> arrived;
  SemaphoreGuard hold(core.locks().client_table);
  load_group_rows(probe, absent, core.tables(), macs);
  for (int r = 0; r < probe.row_count(); ++r) {
    if (probe.check_state(r) != kChecked) continue;
    main.check(r);
    main.set_cell(r, 3, probe.cell(r, 3));
  }
  for (std::size_t i = 0; i < from.size(); ++i) {
    if (absent.check_state(static_cast<int>(i)) != kChecked) continue;
    members.check(from[i]);
    arrived.push_back(members.cell(from[i], 0));
  }
  return arrived;
}

}  // namespace kestrelon
