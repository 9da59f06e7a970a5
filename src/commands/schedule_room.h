#pragma once
// The Schedule dialog's room options without the window: "Wake the PCs" a
// chosen number of minutes before the start, and, from the start on, waiting up
// to a chosen time for a minimum number of them before the Copy begins. The
// dialog's 1-second tick asks step() while its countdown runs; the dialog ends
// with OK (the Copy) only when step() says start, and shows status() meanwhile.
#include <cstdint>
#include <memory>
#include <string>

#include "commands/room_watch.h"

namespace kestrelon {

struct ScheduleRoomOptions {
  bool wake = false;
  int wake_lead_minutes = 10;  // the PCs are woken this long before the start
  int min_clients = 0;         // 0: every PC
  int max_wait_seconds = 0;    // after the start, how long to wait for them
  bool waits() const { return wake || min_clients > 0 || max_wait_seconds > 0; }
};

class ScheduleRoom {
 public:
  enum class Step { counting, waiting, start, give_up };

  // `pcs`: the Copy's PCs as Load Group rows (checked: listed now).
  ScheduleRoom(ControllerCore& core, ScheduleRoomOptions options, CheckListModel pcs,
               WakeSeams seams = WakeSeams::system());

  // The countdown's tick: `now` and `start` in wall-clock seconds, `tick` the
  // tick count.
  Step step(std::int64_t now, std::int64_t start, Tick tick);
  // What the dialog shows beside its countdown; empty before anything happens.
  std::string status(Tick tick) const;
  const RoomWatch* watch() const { return watch_.get(); }

 private:
  void open(std::int64_t now, std::int64_t start, Tick tick);

  ControllerCore& core_;
  ScheduleRoomOptions options_;
  CheckListModel pcs_;
  WakeSeams seams_;
  std::unique_ptr<RoomWatch> watch_;
};

}  // namespace kestrelon
