#pragma once
// How a transfer ended, in the words the main window's status bar shows, and why
// each Client that did not finish failed, for the list of failed Clients. Both
// are read from what the transfer journal was given, so the window tells what
// `kestrelon-cli history` tells.
#include <string>
#include <vector>

#include "commands/journal_record.h"
#include "net/client_list_view.h"

namespace kestrelon {

// One line: "Copied lab.krn to 5 of 5 Clients, 17.7 MB/s"; "Copied lab.krn to 3
// of 5 Clients; not done: PC-04 (fell silent), PC-05 (cancelled)"; "Copy of
// lab.krn failed: ..."; "Copy of lab.krn cancelled"; "Created lab.krn from PC-01,
// 4.7 MB/s"; "Create of lab.krn from PC-01 failed: ...".
std::string transfer_outcome_line(const JournalFacts& facts);

// For each row, the reason its Client has among `outcomes` (matched by address);
// empty when it has none.
std::vector<std::string> failure_reasons(const std::vector<ClientRowFields>& rows,
                                         const std::vector<TargetState>& outcomes);

}  // namespace kestrelon
