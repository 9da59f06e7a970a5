#pragma once
// The History window without its window: the transfers of the journal, newest
// first, and for the one chosen each PC with its outcome and why (woken,
// booted, copied, failed and the reason), and "Check the failed Clients", which
// checks in the main client list the PCs of that transfer that did not finish,
// so that pressing Copy tries them again. CHistoryDlg shows it; tests drive it.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "app/transfer_journal.h"

namespace kestrelon {

struct HistoryClient {
  std::string name;
  std::string address;  // dotted; empty when not known
};

class HistoryView {
 public:
  static constexpr std::size_t kShownTransfers = 200;

  // `records` in file order.
  explicit HistoryView(std::vector<JournalRecord> records);
  // The last kShownTransfers of the journal.
  static HistoryView from_journal(const TransferJournal& journal);

  int transfer_count() const { return static_cast<int>(records_.size()); }
  // Row `i` (0 = newest): started, kind, result, Clients ("3 of 4 done"), image.
  std::vector<std::string> transfer_row(int i) const;
  // The PCs of transfer `i`: name, address, outcome ("copied", "failed", ...),
  // and what else is known ("woken, booted after 74.2 s; fell silent ...").
  std::vector<std::vector<std::string>> pc_rows(int i) const;
  // The image of transfer `i`, as recorded.
  std::string image(int i) const;
  // The PCs of copy `i` that did not finish (failed or left out).
  std::vector<HistoryClient> failed_clients(int i) const;

 private:
  const JournalRecord& record(int i) const;
  std::vector<JournalRecord> records_;
};

// Checks the main client list's rows of `clients` that are listed now (found by
// name, else by address), after unchecking every row. Returns those not listed.
std::vector<HistoryClient> check_history_clients(ControllerCore& core, const std::vector<HistoryClient>& clients);

// The column titles of the two lists.
inline constexpr const char* kHistoryTransferColumns[] = {"Started", "Kind", "Result", "Clients", "Image"};
inline constexpr const char* kHistoryPcColumns[] = {"Name", "IP Address", "Outcome", "Details"};

}  // namespace kestrelon
