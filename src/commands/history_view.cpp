#include "commands/history_view.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "commands/journal_record.h"
#include "model/client_name.h"
#include "model/client_row_text.h"

namespace kestrelon {

namespace {

std::string text_of(const JournalRecord& o, const char* key) {
  const auto it = o.find(key);
  if (it == o.end() || it->is_null()) return "";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

const JournalRecord& targets_of(const JournalRecord& r) {
  static const JournalRecord none = JournalRecord::array();
  const auto it = r.find("targets");
  return it != r.end() && it->is_array() ? *it : none;
}

std::string outcome_text(const std::string& kind, const std::string& outcome) {
  if (outcome == "done") return kind == "create" ? "uploaded" : "copied";
  return outcome;
}

std::string details(const JournalRecord& t) {
  std::string d;
  const auto add = [&d](const std::string& part) { d += (d.empty() ? "" : ", ") + part; };
  if (const auto w = t.find("woken"); w != t.end() && w->is_boolean() && w->get<bool>()) {
    add("woken");
    if (const auto b = t.find("booted_after_seconds"); b != t.end() && b->is_number()) {
      char text[48];
      std::snprintf(text, sizeof text, "booted after %.1f s", b->get<double>());
      add(text);
    }
  }
  if (const std::string why = text_of(t, "wake_problem"); !why.empty()) add("not woken: " + why);
  if (const std::string name = text_of(t, "computer_name"); !name.empty() && text_of(t, "outcome") == "done") {
    add("to be named " + name);
  }
  if (const std::string why = text_of(t, "name_refused"); !why.empty()) add("name refused: " + why);
  if (std::string reason = text_of(t, "reason"); !reason.empty()) {
    // A PC's report after a copy holds a line per step.
    for (std::size_t at = reason.find('\n'); at != std::string::npos; at = reason.find('\n', at)) reason.replace(at, 1, "; ");
    d += (d.empty() ? "" : "; ") + reason;
  }
  if (const std::string report = report_text(t); !report.empty()) d += (d.empty() ? "" : "; ") + report;
  return d;
}

}  // namespace

HistoryView::HistoryView(std::vector<JournalRecord> records) : records_(std::move(records)) {}

HistoryView HistoryView::from_journal(const TransferJournal& journal) {
  std::vector<JournalRecord> records = journal.read().records;
  if (records.size() > kShownTransfers) records.erase(records.begin(), records.end() - kShownTransfers);
  return HistoryView(std::move(records));
}

const JournalRecord& HistoryView::record(int i) const {
  return records_[records_.size() - 1 - static_cast<std::size_t>(i)];
}

std::vector<std::string> HistoryView::transfer_row(int i) const {
  const JournalRecord& r = record(i);
  std::string started = text_of(r, "started");
  if (started.size() >= 19) started = started.substr(0, 10) + " " + started.substr(11, 8);
  int done = 0;
  const JournalRecord& targets = targets_of(r);
  for (const JournalRecord& t : targets) {
    const std::string outcome = text_of(t, "outcome");
    done += outcome == "done" || outcome == "named" ? 1 : 0;
  }
  return {started, text_of(r, "kind"), text_of(r, "result"),
          std::to_string(done) + " of " + std::to_string(targets.size()) + " done", text_of(r, "image")};
}

std::vector<std::vector<std::string>> HistoryView::pc_rows(int i) const {
  const JournalRecord& r = record(i);
  const std::string kind = text_of(r, "kind");
  std::vector<std::vector<std::string>> rows;
  for (const JournalRecord& t : targets_of(r))
    rows.push_back({text_of(t, "name"), text_of(t, "address"), outcome_text(kind, text_of(t, "outcome")), details(t)});
  return rows;
}

std::string HistoryView::image(int i) const { return text_of(record(i), "image"); }

std::vector<HistoryClient> HistoryView::failed_clients(int i) const {
  std::vector<HistoryClient> failed;
  const JournalRecord& r = record(i);
  if (text_of(r, "kind") != "copy") return failed;
  for (const JournalRecord& t : targets_of(r))
    if (text_of(t, "outcome") != "done") failed.push_back({text_of(t, "name"), text_of(t, "address")});
  return failed;
}

std::vector<HistoryClient> check_history_clients(ControllerCore& core, const std::vector<HistoryClient>& clients) {
  CheckListModel& rows = core.main_client_list().rows();
  rows.uncheck_all();
  std::vector<HistoryClient> missing;
  for (const HistoryClient& c : clients) {
    int found = -1;
    for (int r = 0; r < rows.row_count() && found < 0; ++r)
      if (same_client_name(rows.cell(r, 0), c.name)) found = r;
    const auto address = Ipv4Address::parse(c.address);
    for (int r = 0; r < rows.row_count() && found < 0 && address; ++r)
      if (rows.cell(r, 1) == address->padded_text()) found = r;
    if (found >= 0) {
      rows.check(found);
    } else {
      missing.push_back(c);
    }
  }
  return missing;
}

}  // namespace kestrelon
