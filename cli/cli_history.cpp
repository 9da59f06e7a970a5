// kestrelon-cli history: the transfer journal, that every Copy and Create from
// the window or the command line appends to, as a table of the last transfers
// (with every Client that did not finish and why) or as the journal's own JSON
// lines.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "app/transfer_journal.h"
#include "commands/journal_record.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "json_text.h"
#include "text_table.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

constexpr int kDefaultLast = 20;

struct HistoryArgs {
  int last = kDefaultLast;  // 0: all
  bool json = false;
};

std::string text_of(const Json& record, const char* key) {
  const auto it = record.find(key);
  if (it == record.end() || it->is_null()) return "";
  return it->is_string() ? it->get<std::string>() : it->dump();
}

// "2024-05-01T02:00:03+02:00" as "2024-05-01 02:00:03".
std::string when(const Json& record) {
  std::string t = text_of(record, "started");
  if (t.size() >= 19) t = t.substr(0, 10) + " " + t.substr(11, 8);
  return t;
}

std::string clients_text(const Json& record) {
  const auto it = record.find("targets");
  if (it == record.end() || !it->is_array()) return "";
  int done = 0;
  // An after-copy line's PCs are done when they were named.
  for (const Json& t : *it) done += text_of(t, "outcome") == "done" || text_of(t, "outcome") == "named" ? 1 : 0;
  return std::to_string(done) + " of " + std::to_string(it->size()) + " done";
}

std::string megabytes(const Json& record) {
  const auto it = record.find("bytes");
  if (it == record.end() || !it->is_number()) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", it->get<double>() / 1e6);
  return text;
}

// "woken, booted after 74.2 s, " for a PC an unattended job woke; "" otherwise.
std::string wake_text(const Json& target) {
  const auto woken = target.find("woken");
  std::string text;
  if (woken != target.end() && woken->is_boolean() && woken->get<bool>()) {
    text = "woken, ";
    if (const auto b = target.find("booted_after_seconds"); b != target.end() && b->is_number()) {
      char booted[48];
      std::snprintf(booted, sizeof booted, "booted after %.1f s, ", b->get<double>());
      text += booted;
    }
  }
  if (const std::string why = text_of(target, "wake_problem"); !why.empty()) text += "not woken (" + printable(why) + "), ";
  return text;
}

void print_table(const std::vector<Json>& records) {
  std::vector<std::vector<std::string>> rows{{"Started", "Kind", "Result", "Clients", "MB", "MB/s", "Image"}};
  std::vector<std::string> details;  // the Clients that did not finish, after each row
  std::string out;
  for (const Json& r : records) {
    rows.push_back({when(r), text_of(r, "kind"), text_of(r, "result"), clients_text(r), megabytes(r),
                    text_of(r, "rate_mbps"), printable(text_of(r, "image"))});
    std::string detail;
    if (const auto t = r.find("targets"); t != r.end() && t->is_array()) {
      for (const Json& target : *t) {
        const std::string wake = wake_text(target), report = report_text(target);
        if (text_of(target, "outcome") == "done" && wake.empty() && report.empty()) continue;
        const std::string address = text_of(target, "address");
        detail += "\n    " + printable(text_of(target, "name")) + (address.empty() ? "" : " (" + address + ")") +
                  ": " + wake + text_of(target, "outcome") +
                  (text_of(target, "reason").empty() ? "" : ": " + printable(text_of(target, "reason"))) +
                  (report.empty() ? "" : ": " + printable(report));
      }
    }
    details.push_back(detail);
  }
  // Aligned as one table, with each transfer's Clients indented beneath it.
  const std::string table = text_table(rows);
  std::size_t start = 0;
  for (std::size_t line = 0; start <= table.size(); ++line) {
    const std::size_t end = std::min(table.find('\n', start), table.size());
    std::printf("%s%s\n", table.substr(start, end - start).c_str(), line == 0 ? "" : details[line - 1].c_str());
    start = end + 1;
  }
}

int run_history(const HistoryArgs& a) {
  const TransferJournal journal(TransferJournal::default_file());
  // Read from the end: only the transfers shown are read.
  const TransferJournal::Contents contents = journal.read_last(static_cast<std::size_t>(a.last));
  if (contents.unreadable > 0) {
    std::fprintf(stderr, "kestrelon-cli history: %d line(s) of %s are not JSON objects and were left out\n",
                 contents.unreadable, journal.file().c_str());
  }
  if (contents.missing) {
    if (!a.json) std::fprintf(stderr, "kestrelon-cli history: no transfer recorded yet (%s)\n", journal.file().c_str());
    return kExitOk;
  }
  const std::vector<Json>& shown = contents.records;
  if (a.json) {
    for (const Json& r : shown) std::printf("%s\n", json_text(r).c_str());
  } else if (!shown.empty()) {
    print_table(shown);
  }
  return kExitOk;
}

CommandRun define_history(CLI::App& command) {
  auto a = std::make_shared<HistoryArgs>();
  command
      .add_option("--last", a->last,
                  "the last N transfers (default " + std::to_string(kDefaultLast) + "; 0 shows all)")
      ->type_name("N")
      ->check(whole_number(0));
  command.add_flag("--json", a->json, "print the journal's lines as they are: one JSON object per transfer");
  command.footer("Every Copy and Create, from the window or the command line, appends one line to\n"
                 "$XDG_STATE_HOME/kestrelon/transfers.jsonl (~/.local/state/kestrelon/transfers.jsonl):\n"
                 "start and end time, image, each Client with its outcome and why, bytes, rate,\n"
                 "retries and the result (succeeded, partial, cancelled or failed).");
  return [a](const Args&) { return run_history(*a); };
}

[[maybe_unused]] const bool registered = register_command(
    {"history", "show the recorded Copies and Creates", SwitchWords::refused, define_history});

}  // namespace

}  // namespace kestrelon::cli
