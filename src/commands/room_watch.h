#pragma once
// The window's "Wake the PCs": the PCs of a loaded group (or of a scheduled
// Copy) that were not on the network are marked pending, woken, and watched for;
// each one that comes up is checked in the main client list with its stored
// target disk, as Load Group would have checked it. The main window's 500 ms
// timer polls it; the Schedule dialog asks it whether enough PCs are ready.
//
// `members` holds one row per PC as the Load Group preview shows it (name,
// address, disk marks, target text); the rows checked are the PCs already
// listed and checked.
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/room_start.h"
#include "model/check_list_model.h"

namespace kestrelon {

class RoomWatch {
 public:
  // How long the window watches for PCs woken by Load Group alone.
  static constexpr Tick kWatchMs = 30 * 60 * 1000;

  RoomWatch(ControllerCore& core, const CheckListModel& members, bool wake, int min_clients, Tick max_wait_ms,
            WakeSeams seams = WakeSeams::system());

  // Marks the PCs pending and wakes those not listed.
  const std::vector<WakeOutcome>& begin(Tick now);
  // Checks the rows of the PCs that have come up since; returns their names.
  std::vector<std::string> poll(Tick now);
  // Whether enough are ready to start (RoomWait), after a poll at `now`.
  RoomWait::Decision decision(Tick now);

  int ready() const;
  int count() const { return members_.row_count(); }
  bool all_here() const { return ready() == count(); }
  const RoomStart& room() const { return room_; }
  const CheckListModel& members() const { return members_; }
  // "2 of 3 PCs ready; waiting for PC-03 (4:12 left)" for the window to show.
  std::string status(Tick now) const;
  // Whether the watch is over at `now`: enough PCs are here, or the time is up.
  bool over(Tick now) { return decision(now) != RoomWait::Decision::wait; }
  // What the window says once it is over: "All 3 PCs are here." or
  // "2 of 3 PCs came up; not PC-03."
  std::string end_text() const;

 private:
  ControllerCore& core_;
  CheckListModel members_;
  RoomStart room_;
};

// Checks, in the main client list, the rows of the unchecked `members` that are
// listed now (found as load_group_rows finds them), with their target texts and
// disks; checks those member rows. Rows checked already stay as they are.
// Returns the names of the members checked now.
std::vector<std::string> check_arrived_members(ControllerCore& core, CheckListModel& members);

}  // namespace kestrelon
