#pragma once
// The Schedule dialog's room options without the window: "Wake the PCs" a
// chosen number of minutes before the start, and, from the start on, waiting up
// to a chosen time for a minimum number of them before the Copy begins. The
// dialog hands the options over as its Start is pressed (choose) and takes them
// back with Stop; its 1-second tick asks step() while its countdown runs and
// after it, ends with OK (the Copy) only when step() says start, and shows
// status() meanwhile. The Copy then goes to the PCs that came, with the others
// reported as left out and each PC's wake in its journal line (fill).
#include <cstdint>
#include <memory>
#include <string>

#include "commands/copy_flow.h"
#include "commands/room_watch.h"

namespace kestrelon {

struct ScheduleRoomOptions {
  bool wake = false;
  int wake_lead_minutes = 10;  // the PCs are woken this long before the start
  int min_clients = 0;         // 0: every PC
  int max_wait_seconds = 0;    // after the start, how long to wait for those missing
  // Without the wake or a minimum, the Copy starts on time with whoever is there.
  bool waits() const { return wake || min_clients > 0; }
};

// The PCs a scheduled Copy waits for: every checked row of the main client
// list, and the members of the group loaded last that were not on the network
// then (their rows unchecked). `group` may be null (no group loaded).
CheckListModel schedule_room_pcs(const CheckListModel& main, const CheckListModel* group);

class ScheduleRoom {
 public:
  enum class Step { counting, waiting, start, give_up };

  // `pcs`: the Copy's PCs as Load Group rows (schedule_room_pcs).
  ScheduleRoom(ControllerCore& core, ScheduleRoomOptions options, CheckListModel pcs,
               WakeSeams seams = WakeSeams::system());

  // The options, as the countdown starts; Stop takes back what they began (the
  // PCs' marks for the boot service).
  void choose(const ScheduleRoomOptions& options);
  void stop() { watch_.reset(); }
  const ScheduleRoomOptions& options() const { return options_; }
  int pc_count() const { return pcs_.row_count(); }

  // The countdown's tick: `now` and `start` in wall-clock seconds, `tick` the
  // tick count (tick_now()).
  Step step(std::int64_t now, std::int64_t start, Tick tick);
  Tick tick_now() const { return core_.clock().now(); }
  // What the dialog shows beside its countdown; empty before anything happens.
  std::string status(Tick tick) const;
  const RoomWatch* watch() const { return watch_.get(); }

  // "None of the 3 PCs came up by the end of the wait: nothing was copied."
  std::string give_up_text() const;

  // The Copy about to start: the PCs that did not come are left out with the
  // reason, and each PC's wake goes into the journal line. `request` must not
  // outlive this.
  void fill(CopyRequest& request) const;

 private:
  void open(std::int64_t now, std::int64_t start, Tick tick);

  ControllerCore& core_;
  ScheduleRoomOptions options_;
  CheckListModel pcs_;
  WakeSeams seams_;
  std::unique_ptr<RoomWatch> watch_;
};

}  // namespace kestrelon
