#pragma once
// What happened to each PC of an unattended job before its copy: whether it was
// woken (or why not), and how long after that it was listed (booted into the
// Client). The copy's own outcome (copied, failed, skipped, with the reason)
// is the copy report's; this adds the rest to each Client of the journal line,
// so the journal, `history` and the command's JSON summary tell per PC: woken,
// booted, copied or failed and why.
//
//   "targets":[{"name":"PC-04","address":"10.1.12.131","outcome":"done",
//               "mac":"52:54:00:4b:00:04","woken":true,"booted_after_seconds":74.2}, ...]
#include <optional>
#include <string>
#include <vector>

#include "app/transfer_journal.h"
#include "commands/wake_pcs.h"
#include "platform/tick.h"

namespace kestrelon {

struct PcFacts {
  std::string name;
  std::optional<MacAddress> mac;
  bool on_before = false;    // listed before anything was sent: it was on already
  bool wake_sent = false;    // its magic packet went out
  std::string wake_problem;  // why it could not be woken
  Tick woken_at = 0;
  std::optional<double> booted_after_seconds;  // listed this long after its first packet
};

class RoomReport {
 public:
  // A PC asked for that was listed before the job sent anything.
  void on_already(const std::string& name, std::optional<MacAddress> mac);
  // A PC's wake, sent at `now` (or not, with the problem).
  void woke(const WakeOutcome& outcome, Tick now);
  // A woken PC is listed at `now` (the first time counts).
  void booted(const std::string& name, Tick now);

  const std::vector<PcFacts>& pcs() const { return pcs_; }
  // The facts of the PC of this name (letter case aside), or null.
  const PcFacts* find(const std::string& name) const;
  // Adds each PC's facts to the Client of the same name in record["targets"].
  void annotate(JournalRecord& record) const;

 private:
  PcFacts& entry(const std::string& name);
  std::vector<PcFacts> pcs_;
};

}  // namespace kestrelon
