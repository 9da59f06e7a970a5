// kestrelon-cli discover: runs the Controller core, sends a discovery request once
// a second, and prints the main client list in its own (sorted) order. The JSON
// form also carries each Client's disks and their partitions as announced, so a
// script can choose the disk for copy or create --disk.
#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/switch_check.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "console_ui.h"
#include "core_options.h"
#include "error_report.h"
#include "json_text.h"
#include "model/client_row_text.h"
#include "model/disk_texts.h"
#include "platform/semaphore.h"
#include "stop_signal.h"
#include "text_table.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kDefaultSeconds = 3;
constexpr auto kPollInterval = 20ms;

struct DiscoverArgs {
  int seconds = kDefaultSeconds;  // 0: until Ctrl-C
  bool json = false;
  bool loopback = false;
};

struct Row {
  std::string name, address, target;
  int disks = 0;
  bool checked = false;
  std::vector<DiskEntry> disk_entries;  // as the Client announced them
};

std::vector<Row> rows_of(ControllerCore& core) {
  const CheckListModel& list = core.main_client_list().rows();
  SemaphoreGuard guard(core.locks().client_table);
  const ClientTables& tables = core.tables();
  std::vector<Row> rows;
  for (int r = 0; r < list.row_count(); ++r) {
    Row row{list.cell(r, 0), list.cell(r, 1), list.cell(r, 3), character_count(list.cell(r, 2)),
            list.check_state(r) == kChecked, {}};
    if (const auto address = address_from_padded_text(row.address)) {
      if (const int c = tables.find_client(*address); c >= 0) {
        const ClientRecord& client = tables.clients[static_cast<std::size_t>(c)];
        row.disk_entries.assign(client.disks.begin(), client.disks.begin() + std::clamp(client.disk_count, 0, kMaxDisks));
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

Json partition_json(const PartitionEntry& p) {
  return {{"number", p.number},
          {"type", p.type},
          {"type_name", partition_type_name(p.type)},
          {"boot", p.boot == 0x80},
          {"kind", p.logical != 0 ? "logical" : "primary"},
          {"sectors", p.size_sectors},
          {"mb", sectors_to_mb(p.size_sectors)}};
}

// Drives count from 1, as --disk takes them and the Target column shows them.
Json drives_json(const std::vector<DiskEntry>& disks) {
  Json out = Json::array();
  for (std::size_t d = 0; d < disks.size(); ++d) {
    Json partitions = Json::array();
    const int count = std::clamp(disks[d].partition_count, 0, kMaxPartitions);
    for (int p = 0; p < count; ++p) partitions.push_back(partition_json(disks[d].partitions[static_cast<std::size_t>(p)]));
    out.push_back({{"drive", d + 1},
                   {"bios", disks[d].bios_number},
                   {"sectors", disks[d].size_sectors},
                   {"mb", sectors_to_mb(disks[d].size_sectors)},
                   {"partitions", partitions}});
  }
  return out;
}

void print_table(const std::vector<Row>& rows) {
  std::vector<std::vector<std::string>> cells{{"Name", "IP Address", "Disk(s)", "Target"}};
  for (const Row& r : rows) {
    cells.push_back({printable(r.name), r.address, std::to_string(r.disks), printable(r.target)});
  }
  print_text_table(cells);
}

void print_json(const std::vector<Row>& rows) {
  Json clients = Json::array();
  for (const Row& r : rows) {
    const auto address = address_from_padded_text(r.address);
    clients.push_back({{"name", r.name}, {"address", address ? address->text() : r.address}, {"disks", r.disks},
                       {"target", r.target}, {"checked", r.checked}, {"drives", drives_json(r.disk_entries)}});
  }
  std::printf("%s\n", json_text(Json{{"clients", clients}}).c_str());
}

void print_list(ControllerCore& core, const DiscoverArgs& a) {
  const std::vector<Row> rows = rows_of(core);
  if (a.json) {
    print_json(rows);
  } else {
    if (a.seconds == 0) {
      const std::time_t now = std::time(nullptr);
      char stamp[16];
      std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
      std::printf("-- %s  %zu client(s)\n", stamp, rows.size());
    }
    print_table(rows);
  }
  std::fflush(stdout);
}

int run_discover(const DiscoverArgs& a, const Args& switch_words) {
  if (const std::string problem = switch_words_problem(switch_words); !problem.empty()) {
    return usage_error("discover", problem);
  }

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.loopback, switch_words));
  CheckListModel& list = core.main_client_list().rows();
  bool changed = true;
  list.set_change_handler([&changed](const ListChange&) { changed = true; });
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  if (core.endpoints().opened_endpoints() == 0) {
    report_error("discover", std::string("no interface could be opened") +
                                 (a.loopback ? "" : " (try --loopback for Clients on this machine)"));
  }
  const bool watch = a.seconds == 0;
  if (watch) std::fprintf(stderr, "kestrelon-cli: discovering; Ctrl-C to stop\n");

  const auto start = Steady::now();
  auto next_discovery = start + std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
  while (!stop_requested()) {
    ui.drain();
    core.idle_pass();
    if (watch && changed) {
      changed = false;
      print_list(core, a);
    }
    const auto now = Steady::now();
    if (!watch && now - start >= std::chrono::seconds(a.seconds)) break;
    if (now >= next_discovery) {
      core.registry().discover(false);
      next_discovery += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  list.set_change_handler(nullptr);
  if (!watch) print_list(core, a);
  core.shutdown();
  ui.drain();
  return kExitOk;
}

CommandRun define_discover(CLI::App& command) {
  auto a = std::make_shared<DiscoverArgs>();
  command
      .add_option("--seconds", a->seconds,
                  "listen for N seconds, then print the list (default " + std::to_string(kDefaultSeconds) +
                      "); 0 keeps listening until Ctrl-C and prints the list whenever it changes")
      ->type_name("N")
      ->check(whole_number(0, 86400 * 365));
  command.add_flag("--json", a->json, "print JSON (with --seconds 0, one object per line per change)");
  command.add_flag("--loopback", a->loopback, "also open endpoints on loopback addresses (Clients on this machine)");
  command.footer(std::string("Discovers the Clients on every local interface and prints them as the Controller\n"
                             "lists them: name, address, disk count and target disk.\n\n") +
                 kCoreOptionsHelp);
  return [a](const Args& switch_words) { return run_discover(*a, switch_words); };
}

[[maybe_unused]] const bool registered = register_command(
    {"discover", "discover the Clients and list them (--seconds 0: until Ctrl-C)", SwitchWords::taken,
     define_discover});

}  // namespace

}  // namespace kestrelon::cli
