#pragma once
// After a copy whose targets took computer names, each Client that finished
// reports what it did once the copy was over (grew a file system, wrote the
// name, or why not). Waiting for the reports holds nothing up: the copy's own
// journal line is written at its end; this writes one more, of kind
// "after-copy", once every report is in or the wait is over:
//
//   {"kind":"after-copy","program":"kestrelon-cli","started":<the copy's start>,
//    "ended":...,"image":...,"result":"succeeded","targets":[{"name":"PC-04",
//    "address":"10.1.12.104","computer_name":"ROOM12-PC04","outcome":"named",
//    "reason":"computer name ROOM12-PC04 written into Debian GNU/Linux 12 ..."}]}
//
// A target's outcome is "named", "left as it is" (no system the Client
// recognises), "failed", or "no report" (the Client fell silent after its copy).
// The window polls it from its 500 ms timer, the command line until it is done.
#include <optional>
#include <string>
#include <vector>

#include "app/transfer_journal.h"
#include "commands/journal_record.h"
#include "platform/tick.h"
#include "transfer/copy_names.h"

namespace kestrelon {

class AfterCopyReports {
 public:
  // How long the reports are waited for: growing a large file system first
  // takes minutes.
  static constexpr Tick kWait = 300000;

  // Starts waiting for the targets of `copy` that finished and took a name;
  // with none, nothing is waited for.
  void expect(const JournalFacts& copy, const std::vector<TargetNaming>& names, Tick now, Tick wait = kWait);
  bool waiting() const { return copy_.has_value(); }
  // Once every report is in (`names` has them) or the wait is over: the line,
  // appended to `journal`. Before that, nothing; with `now_or_never` (another
  // copy is about to start) the line is written with what has come.
  std::optional<JournalRecord> poll(const CopyNames& names, const TransferJournal& journal, Tick now,
                                    bool now_or_never = false);

 private:
  std::optional<JournalFacts> copy_;
  std::vector<Ipv4Address> awaited_;
  Tick deadline_ = 0;
};

// What the status bar says of the reports: "Computer names after the copy: 3 of
// 4 PCs named (View > History... tells each)".
std::string after_copy_outcome_line(const JournalRecord& record);

// The after-copy line for `copy` from what `names` holds now.
JournalRecord after_copy_record(const JournalFacts& copy, const std::vector<TargetNaming>& names,
                                const std::vector<Ipv4Address>& awaited, std::int64_t now_ms);

}  // namespace kestrelon
