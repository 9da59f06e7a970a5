// kestrelon-cli discover: runs the Controller core, sends a discovery request once
// a second, and prints the main client list in its own (sorted) order.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "cli_commands.h"
#include "client_choice.h"
#include "console_ui.h"
#include "core_options.h"
#include "json_text.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "client_choice.h"

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
  Args switch_words;
};

void print_help() {
  std::printf(
      "usage: kestrelon-cli discover [--seconds N] [--json] [--loopback] [SWITCHES]\n"
      "  Discovers the Clients on every local interface and prints them as the\n"
      "  Controller lists them: name, address, disk count and target disk.\n"
      "  --seconds N  listen for N seconds, then print the list (default %d);\n"
      "               0 keeps listening until Ctrl-C and prints the list whenever it changes\n"
      "  --json       print JSON (with --seconds 0, one object per line per change)\n"
      "%s",
      kDefaultSeconds, kCoreOptionsHelp);
}

// Returns 0 to go on, else the exit code.
int parse(const Args& args, DiscoverArgs& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      print_help();
      return -1;
    }
    if (a == "--json") {
      out.json = true;
    } else if (a == "--loopback") {
      out.loopback = true;
    } else if (a == "--seconds") {
      char* end = nullptr;
      const long v = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
      if (!end || *end != '\0' || v < 0 || v > 86400 * 365) {
        std::fprintf(stderr, "kestrelon-cli discover: --seconds needs a number of seconds (0 = until Ctrl-C)\n");
        return 2;
      }
      out.seconds = static_cast<int>(v);
      ++i;
    } else if (a.starts_with("--")) {
      std::fprintf(stderr, "kestrelon-cli discover: unknown option '%s' (see --help)\n", a.c_str());
      return 2;
    } else {
      out.switch_words.push_back(a);
    }
  }
  return 0;
}

struct Row {
  std::string name, address, target;
  int disks = 0;
  bool checked = false;
};

std::vector<Row> rows_of(const CheckListModel& list) {
  std::vector<Row> rows;
  for (int r = 0; r < list.row_count(); ++r) {
    rows.push_back(Row{list.cell(r, 0), list.cell(r, 1), list.cell(r, 3), character_count(list.cell(r, 2)),
                       list.check_state(r) == kChecked});
  }
  return rows;
}

void print_table(const std::vector<Row>& rows) {
  std::vector<std::vector<std::string>> cells{{"Name", "IP Address", "Disk(s)", "Target"}};
  for (const Row& r : rows) {
    cells.push_back({printable(r.name), r.address, std::to_string(r.disks), printable(r.target)});
  }
  std::vector<int> width(4, 0);
  for (const auto& line : cells) {
    for (std::size_t c = 0; c < 4; ++c) width[c] = std::max(width[c], character_count(line[c]));
  }
  for (const auto& line : cells) {
    std::string out;
    for (std::size_t c = 0; c < 4; ++c) {
      out += line[c];
      if (c + 1 < 4) out += std::string(static_cast<std::size_t>(width[c] - character_count(line[c]) + 2), ' ');
    }
    std::printf("%s\n", out.c_str());
  }
}

void print_json(const std::vector<Row>& rows) {
  std::string out = "{\"clients\":[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    if (i > 0) out += ",";
    out += "{\"name\":" + json_string(r.name) + ",\"address\":" + json_string(r.address) +
           ",\"disks\":" + std::to_string(r.disks) + ",\"target\":" + json_string(r.target) +
           ",\"checked\":" + (r.checked ? "true" : "false") + "}";
  }
  out += "]}";
  std::printf("%s\n", out.c_str());
}

void print_list(const CheckListModel& list, const DiscoverArgs& a) {
  const std::vector<Row> rows = rows_of(list);
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

}  // namespace

int run_discover(const Args& args) {
  DiscoverArgs a;
  if (const int code = parse(args, a)) return code < 0 ? 0 : code;

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.loopback, a.switch_words));
  CheckListModel& list = core.main_client_list().rows();
  bool changed = true;
  list.set_change_handler([&changed](const ListChange&) { changed = true; });
  if (!core.start()) {
    ui.drain();
    return 1;
  }
  if (core.endpoints().opened_endpoints() == 0) {
    std::fprintf(stderr, "kestrelon-cli discover: no interface could be opened%s\n",
                 a.loopback ? "" : " (try --loopback for Clients on this machine)");
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
      print_list(list, a);
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
  if (!watch) print_list(list, a);
  core.shutdown();
  ui.drain();
  return 0;
}

}  // namespace kestrelon::cli
