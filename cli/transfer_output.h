#pragma once
// How copy and create show a transfer while it runs and when it has ended: each
// Client's step as it happens, one line (or, with --json, one JSON object) per
// event on standard output; on a terminal a progress line that fits its width,
// rewritten in place on standard error; without a terminal (and with --json) a
// progress event every tenth of the way instead; the window's lists and
// messages; and a final table, or a JSON summary. Addresses are plain dotted
// quads, sizes bytes, rates decimal megabytes per second.
#include <cstdint>
#include <string>
#include <vector>

#include "commands/copy_naming.h"
#include "commands/journal_record.h"
#include "net/client_list_view.h"
#include "progress_line.h"
#include "transfer/copy_target_report.h"
#include "transfer/transfer_texts.h"

namespace kestrelon::cli {

struct ProgressFacts {
  std::uint64_t done_bytes = 0;
  std::uint64_t total_bytes = 0;  // 0 while no Client has said
  double elapsed_seconds = 0;
  RefreshTexts texts;  // the dialog's texts: time left, counters, Client
};

class TransferOutput {
 public:
  explicit TransferOutput(bool json) : json_(json) {}

  bool json() const { return json_; }
  // A Client's step: start sent, ready, done, skipped or failed with why.
  void client(const TargetState& target);
  void progress(const ProgressFacts& facts);
  // A line of fields rewritten in place on a terminal (a countdown); nothing elsewhere.
  void status(const std::vector<std::string>& fields) { line_.show(fields); }
  // A message the window shows in a box: on standard error, and as an event with --json.
  void message(const std::string& text);
  // A list the window shows as a dialog (not with --json: the events say it).
  void rows(const std::string& title, const std::vector<ClientRowFields>& rows);
  // A line of plain text on standard output (not with --json).
  void text(const std::string& line);
  // The end: every Client with its outcome, as a table or inside the JSON summary.
  void summary(const JournalFacts& facts);
  // The computer name a target is about to be given, or why none.
  void naming(const NamedTarget& target);
  // What the PCs reported after the copy: a line per PC, or the journal's line
  // as an "after_copy" event.
  void after_copy(const JournalRecord& record);

 private:
  void emit(const std::string& line);  // standard output, after clearing the progress line

  bool json_;
  ProgressLine line_;
  int last_tenth_ = -1;  // the last tenth of the way reported as an event
};

}  // namespace kestrelon::cli
