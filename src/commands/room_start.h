#pragma once
// The start of an unattended job on a room of PCs, before its Copy: the targets
// are marked pending for the boot service (so that they boot into the Client,
// and every other PC its own disk), the switched-off ones are woken, and the
// job waits until enough of them are listed and ready (RoomWait), sending the
// packets again every minute to those that have not come up. The command line's
// loop and the window's timer drive it the same way: begin() once, then poll()
// as they discover, with the number of targets they found ready.
//
// The marks stay while the Controller runs the job; the caller takes each
// Client's mark away as its copy ends (a Client that restarts after its copy
// then boots its own disk) and the rest when the job ends.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/room_report.h"
#include "commands/wake_pcs.h"
#include "model/room_wait.h"

namespace kestrelon {

struct RoomRequest {
  std::vector<WakeWanted> pcs;  // the targets as asked for (a group's members, Clients named)
  bool wake = false;
  std::vector<Ipv4Address> directed;  // further broadcast addresses for the packets
  int min_clients = 0;                // 0: every target
  Tick max_wait_ms = 0;
};

class RoomStart {
 public:
  static constexpr Tick kRewakePeriodMs = 60'000;

  RoomStart(ControllerCore& core, RoomRequest request, WakeSeams seams = WakeSeams::system());
  // Takes away the marks this job set that are still there.
  ~RoomStart();
  RoomStart(const RoomStart&) = delete;
  RoomStart& operator=(const RoomStart&) = delete;

  // Marks the targets pending and wakes those not listed now. Returns the
  // outcome of each wake (empty without `wake`).
  const std::vector<WakeOutcome>& begin(Tick now);
  // With `ready` targets listed and ready at `now`: notes who has booted, wakes
  // the missing again when a minute has passed, and says whether to start.
  RoomWait::Decision poll(int ready, Tick now);

  const RoomWait& wait() const { return wait_; }
  const RoomReport& report() const { return report_; }
  // Why the boot service could not be told ("" when it was, or nothing asked it).
  const std::string& pending_problem() const { return pending_problem_; }
  // Why a target that is not listed when the wait ends is left out: at the
  // deadline it did not come up in time; before it, the copy started without it
  // ("not ready when the copy started, 65 s after it was woken").
  std::string absent_reason(const std::string& name) const;

 private:
  bool listed_now(const std::string& name, const std::optional<MacAddress>& mac) const;
  void wake_missing(Tick now);

  ControllerCore& core_;
  RoomRequest request_;
  WakeSeams seams_;
  RoomWait wait_;
  RoomReport report_;
  std::vector<InventoryEntry> inventory_;
  std::vector<WakeOutcome> outcomes_;
  std::string pending_problem_;
  std::vector<MacAddress> marked_;
  Tick began_ = 0;
  Tick last_wake_ = 0;
  std::optional<Tick> ended_;  // when poll() last said start or give up
  bool ended_early_ = false;   // and that was before the deadline
};

}  // namespace kestrelon
