#pragma once
// Follows each target of a Copy from the start request to its end, so a front
// end can report per Client as it happens (the command line's events and final
// table) and the transfer journal can record each outcome.
//
// Driven from three sides: the copy engine tells it what it sends and hears
// (CopyObserver, on the user-interface and receive threads); the Copy flow opens
// it with the targets, adds the Clients left out before the start, and closes it
// with how the copy ended; the front end takes the changes as events on its own
// thread. One mutex of its own guards everything, and is never held while
// calling out.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ipv4_address.h"
#include "transfer/copy_observer.h"

namespace kestrelon {

enum class TargetStep { listed, start_sent, ready, done, skipped, failed };
// "listed", "start sent", "ready", "done", "skipped", "failed".
const char* step_text(TargetStep step);
// "ready", "acknowledgement", "resend request", "completion".
const char* answer_text(CopyAnswer answer);

struct LastHeard {
  CopyAnswer answer = CopyAnswer::ready;
  std::uint32_t block = 0;       // acknowledged or asked for again
  Tick at = 0;                   // when it was heard
  Tick before_end_ms = 0;        // how long before the copy ended (set when it ends)
};

struct TargetState {
  std::string name;
  Ipv4Address address;  // zero when not known (a Client named but never discovered)
  TargetStep step = TargetStep::listed;
  std::string reason;   // why it was skipped or failed
  std::optional<LastHeard> last_heard;
  bool receiving = false;      // it acknowledged a block or asked for one again
  bool acknowledging = false;  // it was named the acknowledging Client
  bool replaced = false;       // and another was named after it: it had stopped acknowledging
  std::vector<std::string> report;  // what it reported with its completion, as sent
};

// How a copy ended: it decides the reason given to each target that did not finish.
enum class CopyEnd {
  all_done,
  never_started,         // not every target answered the start request
  late_after_first,      // targets not done 5 s after the first one was
  no_acknowledger_left,  // the acknowledging Clients fell silent one after another
  cancelled,             // the user's Cancel
};

class CopyTargetReport final : public CopyObserver {
 public:
  explicit CopyTargetReport(const Clock& clock) : clock_(clock) {}

  // Forgets the last copy.
  void reset();
  // A Client left out before the start (offline, too small a disk), with why:
  // skipped, or failed when its lack stopped the whole copy.
  void skip(const std::string& name, Ipv4Address address, const std::string& reason,
            TargetStep step = TargetStep::skipped);
  // The copy's targets, just before Copy start; from now on the engine's reports count.
  void open(const std::vector<TargetState>& targets);
  // The copy has ended: every target not done fails, for a reason that `end` and
  // what was last heard from it give.
  void close(CopyEnd end);

  // CopyObserver.
  void start_sent(Ipv4Address target) override;
  void heard(Ipv4Address from, CopyAnswer answer, std::uint32_t block) override;
  void acknowledging(Ipv4Address client) override;
  void reported(Ipv4Address client, const std::vector<std::string>& lines) override;

  // The changes since the last call, each a copy of the target as it then was.
  std::vector<TargetState> take_events();
  // Every target and skipped Client, in the order they were added.
  std::vector<TargetState> states() const;

  // Why a target did not finish, in what is known of it and nothing more: how
  // the copy ended, then ready or receiving, whether it was the acknowledging
  // Client (once one has been named, the others are quiet while they receive
  // well), and what was last heard: "not done 5 s after the first Client
  // finished; receiving, not the acknowledging Client (...); last heard:
  // acknowledgement of block 34, 12.5 s before the end".
  static std::string failure_reason(CopyEnd end, const TargetState& target, bool acknowledging_named = true);

 private:
  TargetState* find(Ipv4Address address);
  void changed(const TargetState& state) { events_.push_back(state); }

  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<TargetState> states_;
  std::vector<TargetState> events_;
  bool open_ = false;
  bool acknowledging_named_ = false;  // OP_ACKER went to a target of this copy
};

}  // namespace kestrelon
