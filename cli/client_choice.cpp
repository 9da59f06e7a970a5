#include "client_choice.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <thread>

#include "model/client_row_text.h"
#include "model/shown_text.h"
#include "stop_signal.h"

namespace kestrelon::cli {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string printable(std::string text) { return shown_text(text); }

void add_session_options(CLI::App& command, SessionArgs& out) {
  command
      .add_option("--discover-seconds", out.discover_seconds,
                  "discover for at most S seconds first (default " +
                      std::to_string(SessionArgs::kDefaultDiscoverSeconds) +
                      "); ends as soon as every Client named is listed")
      ->type_name("S")
      ->check(CLI::Range(1, 3600));
  command.add_flag("--loopback", out.loopback, "also open endpoints on loopback addresses (Clients on this machine)");
}

bool row_is(const CheckListModel& rows, int row, const std::string& wanted) {
  if (rows.cell(row, 0) == wanted) return true;
  const auto address = Ipv4Address::parse(wanted);
  return address && rows.cell(row, 1) == address->padded_text();
}

namespace {

bool all_listed(ControllerCore& core, const std::vector<std::string>& wanted) {
  if (wanted.empty()) return false;
  const CheckListModel& rows = core.main_client_list().rows();
  for (const std::string& w : wanted) {
    bool found = false;
    for (int r = 0; r < rows.row_count() && !found; ++r) found = row_is(rows, r, w);
    if (!found) return false;
  }
  return true;
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
    bool found = false;
    for (int r = 0; r < rows.row_count(); ++r) {
      if (row_is(rows, r, w)) {
        rows.check(r);
        found = true;
      }
    }
    if (!found) missing.push_back(w);
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

bool report_missing(const char* command, const std::vector<std::string>& missing) {
  for (const std::string& m : missing)
    std::fprintf(stderr, "kestrelon-cli %s: no Client '%s' was discovered\n", command, printable(m).c_str());
  return missing.empty();
}

bool report_lacking(const char* command, int disk, const std::vector<DiskLack>& lacking) {
  for (const DiskLack& l : lacking) {
    std::fprintf(stderr, "kestrelon-cli %s: Client '%s' has %d disk(s), no disk %d\n", command,
                 printable(l.name).c_str(), l.disk_count, disk);
  }
  return lacking.empty();
}

}  // namespace kestrelon::cli
