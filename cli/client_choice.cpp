#include "client_choice.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "error_report.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "whole_number.h"

namespace kestrelon::cli {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

void add_session_options(CLI::App& command, SessionArgs& out) {
  command
      .add_option("--discover-seconds", out.discover_seconds,
                  "discover for at most S seconds first (default " +
                      std::to_string(SessionArgs::kDefaultDiscoverSeconds) +
                      "); ends as soon as every Client named is listed")
      ->type_name("S")
      ->check(whole_number(1, 3600));
  command.add_flag("--loopback", out.loopback, "also open endpoints on loopback addresses (Clients on this machine)");
}

namespace {

// Equal without regard to ASCII letter case, as the groups file compares names.
bool same_letters(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
           return lower(x) == lower(y);
         });
}

}  // namespace

std::vector<int> rows_of(const CheckListModel& rows, const std::string& wanted) {
  std::vector<int> exact, by_name;
  const auto address = Ipv4Address::parse(wanted);
  for (int r = 0; r < rows.row_count(); ++r) {
    if (rows.cell(r, 0) == wanted || (address && rows.cell(r, 1) == address->padded_text())) {
      exact.push_back(r);
    } else if (same_letters(rows.cell(r, 0), wanted)) {
      by_name.push_back(r);
    }
  }
  return exact.empty() ? by_name : exact;
}

namespace {

bool all_listed(ControllerCore& core, const std::vector<std::string>& wanted) {
  if (wanted.empty()) return false;
  const CheckListModel& rows = core.main_client_list().rows();
  for (const std::string& w : wanted)
    if (rows_of(rows, w).empty()) return false;
  return true;
}

// "PC-1 (10.0.0.11), PC-2 (10.0.0.12)": the Clients listed, at most `limit` of them.
std::string answered_text(const CheckListModel& rows, int limit) {
  std::string text;
  for (int r = 0; r < rows.row_count() && r < limit; ++r) {
    const auto address = address_from_padded_text(rows.cell(r, 1));
    text += (r == 0 ? "" : ", ") + printable(rows.cell(r, 0)) + " (" +
            (address ? address->text() : rows.cell(r, 1)) + ")";
  }
  if (rows.row_count() > limit) {
    text += " and " + std::to_string(rows.row_count() - limit) + " more ('kestrelon-cli discover' lists them)";
  }
  return text;
}

}  // namespace

void discover_clients(ControllerCore& core, ConsoleUi& ui, const std::vector<std::string>& wanted, int seconds) {
  constexpr auto kPoll = 20ms;
  const auto start = Steady::now();
  auto next_discovery = start + std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
  while (!stop_requested() && Steady::now() - start < std::chrono::seconds(seconds)) {
    ui.drain();
    core.idle_pass();
    if (all_listed(core, wanted)) return;
    if (Steady::now() >= next_discovery) {
      core.registry().discover(false);
      next_discovery += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    std::this_thread::sleep_for(kPoll);
  }
}

std::vector<std::string> check_clients(ControllerCore& core, bool all, const std::vector<std::string>& wanted) {
  CheckListModel& rows = core.main_client_list().rows();
  if (all) {
    rows.check_all();
    return {};
  }
  std::vector<std::string> missing;
  for (const std::string& w : wanted) {
    const std::vector<int> found = rows_of(rows, w);
    for (const int r : found) rows.check(r);
    if (found.empty()) missing.push_back(w);
  }
  return missing;
}

std::vector<DiskLack> choose_disk(ControllerCore& core, int disk, bool uncheck) {
  if (disk == 0) return {};
  std::vector<DiskLack> lacking;
  ClientRegistry::ModalLockHold hold(core.registry());
  CheckListModel& rows = core.main_client_list().rows();
  ClientTables& tables = core.tables();
  for (int r = 0; r < rows.row_count(); ++r) {
    if (rows.check_state(r) != kChecked) continue;
    const auto address = address_from_padded_text(rows.cell(r, 1));
    const int c = address ? tables.find_client(*address) : -1;
    if (c < 0) continue;
    ClientRecord& client = tables.clients[static_cast<std::size_t>(c)];
    if (disk > client.disk_count) {
      lacking.push_back(DiskLack{client.name_text(), client.address, client.disk_count});
      if (uncheck) rows.uncheck(r);
      continue;
    }
    client.selected_disk = static_cast<std::int16_t>(disk - 1);
  }
  core.main_client_list().update_rows_from_client_table();
  return lacking;
}

bool report_missing(const char* command, const std::vector<std::string>& missing, const CheckListModel& rows,
                    int discover_seconds) {
  constexpr int kListed = 20;
  const std::string answered = rows.row_count() == 0 ? "no Client answered"
                                                      : "the Clients that answered: " + answered_text(rows, kListed);
  for (const std::string& m : missing) {
    report_error(command, "no Client '" + printable(m) + "' answered in " + std::to_string(discover_seconds) +
                              " s; " + answered);
  }
  return missing.empty();
}

bool report_lacking(const char* command, int disk, const std::vector<DiskLack>& lacking) {
  for (const DiskLack& l : lacking) {
    report_error(command, "Client '" + printable(l.name) + "' has " + std::to_string(l.disk_count) +
                              " disk(s), no disk " + std::to_string(disk));
  }
  return lacking.empty();
}

}  // namespace kestrelon::cli
