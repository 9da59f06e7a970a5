#pragma once
// The lines of the transfer journal (app/transfer_journal.h) for a Copy and a
// Create, built by the command flows once a transfer has ended. The command line
// prints its per-Client JSON with the same target_record, so a script reads the
// same fields in both.
//
// A line: {"kind":"copy","program":"kestrelon-cli","started":"2024-05-01T02:00:03+02:00",
//   "ended":...,"image":"/srv/images/lab.krn","bytes":...,"seconds":...,"rate_mbps":...,
//   "retries":...,"acknowledgements":...,"result":"partial","targets":[...]}
// "result" is "succeeded" (every target done), "partial" (some done),
// "cancelled" (the user's Cancel, none done) or "failed".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/transfer_journal.h"
#include "transfer/copy_target_report.h"

namespace kestrelon {

struct JournalFacts {
  std::string kind;     // "copy" or "create"
  std::string program;  // "kestrelon", "kestrelon-cli"
  std::int64_t started_ms = 0;  // wall clock, milliseconds since the epoch
  std::int64_t ended_ms = 0;
  std::string image;            // made absolute
  std::uint64_t bytes = 0;      // the image's length
  double seconds = 0;           // the transfer's own time; 0 when it did not complete
  std::int32_t retries = 0;
  std::int32_t acknowledgements = 0;
  bool cancelled = false;
  std::vector<TargetState> targets;  // the Clients, each with its outcome
  // Adds what the caller knows beyond the transfer (each PC's wake) to the line.
  std::function<void(JournalRecord&)> annotate;
};

JournalRecord journal_record(const JournalFacts& facts);
// Appends journal_record(facts) to `journal`; a failure is not reported.
void append_to_journal(const TransferJournal& journal, const JournalFacts& facts);

// One Client: {"name","address" (dotted quad, null when unknown),"outcome",
// "reason" (when it has one),"last_heard":{"answer","block","seconds_before_end"}}.
JournalRecord target_record(const TargetState& target);

// "succeeded", "partial", "cancelled" or "failed", as above.
std::string transfer_result(const std::vector<TargetState>& targets, bool cancelled);

// The wall clock now, in milliseconds since the epoch.
std::int64_t wall_clock_ms();
// Local time with its offset, "2024-05-01T02:00:03+02:00".
std::string local_time_text(std::int64_t ms);

// What a target reported with its completion ("report"), its lines joined by
// "; "; empty when it reported nothing.
std::string report_text(const JournalRecord& target);

}  // namespace kestrelon
