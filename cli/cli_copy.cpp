// kestrelon-cli copy: discovers the Clients, checks the ones asked for and runs
// the Copy flow that the window runs, printing what the window would show. The
// exit code is 0 only when every target reported that it has written the image.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/program_settings.h"
#include "cli_commands.h"
#include "console_ui.h"
#include "core_options.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "transfer/copy_flow.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kDefaultDiscoverSeconds = 3;
constexpr auto kPoll = 20ms;
constexpr auto kRefreshPeriod = 333ms;
constexpr auto kSupervisionPeriod = 500ms;
// The window's timed message closes itself after about 9 s; meanwhile its timers
// run the supervision. Nobody reads a terminal's message for 9 s, so the command
// line waits only while the supervision may still have something to report.
constexpr auto kTimedMessageLength = 9s;

struct CopyArgs {
  std::string image;
  bool all = false;
  std::vector<std::string> clients;
  int disk = 0;  // 1-based; 0 = each Client's current choice (its first disk)
  bool keep_partition_size = false;
  bool no_sid = false;
  bool sector_by_sector = false;
  int discover_seconds = kDefaultDiscoverSeconds;
  bool loopback = false;
  Args switch_words;
};

void print_help() {
  std::printf(
      "usage: kestrelon-cli copy IMAGE (--all | --client ADDRESS_OR_NAME ...) [--disk N]\n"
      "                          [--keep-partition-size] [--no-sid] [--sector-by-sector]\n"
      "                          [--discover-seconds S] [--loopback] [SWITCHES]\n"
      "  Multicasts the image file IMAGE to the chosen Clients at once, as the window's\n"
      "  Copy command does. Exit code 0 only when every target reported completion.\n"
      "  --all                  every Client discovered\n"
      "  --client X             the Client named X or with address X (repeat for more)\n"
      "  --disk N               overwrite disk N (1 = the first disk each Client lists)\n"
      "  --keep-partition-size  keep the partitions' sizes (the stored preference also counts)\n"
      "  --no-sid               do not create a unique NT SID\n"
      "  --sector-by-sector     force sector-by-sector copying\n"
      "  --discover-seconds S   discover for at most S seconds first (default %d); with\n"
      "                         --client, the copy starts as soon as all are found\n"
      "%s",
      kDefaultDiscoverSeconds, kCoreOptionsHelp);
}

bool read_number(const Args& args, std::size_t& i, long low, long high, long& out) {
  if (i + 1 >= args.size()) return false;
  char* end = nullptr;
  out = std::strtol(args[i + 1].c_str(), &end, 10);
  if (!end || *end != '\0' || args[i + 1].empty() || out < low || out > high) return false;
  ++i;
  return true;
}

// "-rt", "/mttl": the Controller's own switches, each followed by its value. A
// word starting with "/" is a switch only by a known name, as it is more often
// an absolute path (the image file's).
bool is_tuning_switch(const std::string& word) {
  static const char* const kNames[] = {"rc", "rt", "nt", "gut", "mttl", "c", "nd", "log"};
  if (word.size() < 2 || word.starts_with("--")) return false;
  if (word[0] == '-') return true;
  if (word[0] != '/') return false;
  for (const char* name : kNames)
    if (word.compare(1, std::string::npos, name) == 0) return true;
  return false;
}

// 0 to go on, -1 after --help, else the exit code.
int parse(const Args& args, CopyArgs& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    long n = 0;
    if (a == "--help" || a == "-h") {
      print_help();
      return -1;
    } else if (a == "--all") {
      out.all = true;
    } else if (a == "--client") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "kestrelon-cli copy: --client needs a name or an address\n");
        return 2;
      }
      out.clients.push_back(args[++i]);
    } else if (a == "--disk") {
      if (!read_number(args, i, 1, kMaxDisks, n)) {
        std::fprintf(stderr, "kestrelon-cli copy: --disk needs a disk number from 1 to %d\n", kMaxDisks);
        return 2;
      }
      out.disk = static_cast<int>(n);
    } else if (a == "--discover-seconds") {
      if (!read_number(args, i, 1, 3600, n)) {
        std::fprintf(stderr, "kestrelon-cli copy: --discover-seconds needs a number of seconds (1 to 3600)\n");
        return 2;
      }
      out.discover_seconds = static_cast<int>(n);
    } else if (a == "--keep-partition-size") {
      out.keep_partition_size = true;
    } else if (a == "--no-sid") {
      out.no_sid = true;
    } else if (a == "--sector-by-sector") {
      out.sector_by_sector = true;
    } else if (a == "--loopback") {
      out.loopback = true;
    } else if (a.starts_with("--")) {
      std::fprintf(stderr, "kestrelon-cli copy: unknown option '%s' (see --help)\n", a.c_str());
      return 2;
    } else if (is_tuning_switch(a)) {
      out.switch_words.push_back(a);
    } else if (i > 0 && is_tuning_switch(args[i - 1])) {
      out.switch_words.push_back(a);  // the switch's value
    } else if (out.image.empty()) {
      out.image = a;
    } else {
      std::fprintf(stderr, "kestrelon-cli copy: one image file only ('%s' is a second)\n", a.c_str());
      return 2;
    }
  }
  if (out.image.empty()) {
    std::fprintf(stderr, "kestrelon-cli copy: which image file? (see --help)\n");
    return 2;
  }
  if (out.all == !out.clients.empty()) {
    std::fprintf(stderr, "kestrelon-cli copy: give either --all or one or more --client\n");
    return 2;
  }
  return 0;
}

std::string printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

void print_rows(const char* title, const std::vector<ClientRowFields>& rows) {
  std::printf("%s:\n", title);
  for (const auto& r : rows) {
    std::printf("  %-24s %s  %d disk(s)  %s\n", printable(r.name).c_str(), r.address.c_str(), r.disk_count,
                target_text(r.disk_index, r.size_mb).c_str());
  }
  std::fflush(stdout);
}

// The command line's dialogs: lists and messages printed, the Transfer dialog a
// loop that refreshes a progress line and runs the supervision.
class ConsoleCopyPort final : public CopyFlowPort {
 public:
  ConsoleCopyPort(ControllerCore& core, ConsoleUi& ui) : core_(core), ui_(ui) {}
  void set_flow(CopyFlow* flow) { flow_ = flow; }

  void show_message(const std::string& text) override { ui_.show_message(text); }

  void show_low_disk_space(const std::vector<ClientRowFields>& clients) override {
    print_rows("List Of Clients With Insufficient Disk Space", clients);
    std::printf("Following clients have insuficient disk space for the image being sent.\n");
  }

  void show_failed_clients(const std::vector<ClientRowFields>& clients) override {
    print_rows("List of failed Clients", clients);
  }

  void show_timed_message(const std::string& text) override {
    std::fprintf(stderr, "kestrelon: %s\n", text.c_str());
    const auto end = Steady::now() + kTimedMessageLength;
    while (Steady::now() < end && waiting_for_supervision()) {
      ui_.drain();
      flow_->supervise();
      std::this_thread::sleep_for(kPoll);
    }
  }

  void run_transfer_dialog(CopyTransfer& transfer) override {
    bool ended = false;
    if (!transfer.open(std::time(nullptr), [&ended] { ended = true; })) return;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    auto next_refresh = Steady::now();
    auto next_supervision = Steady::now() + kSupervisionPeriod;
    while (!ended) {
      ui_.drain();
      if (stop_requested() && !ended) transfer.cancel();
      core_.idle_pass();
      const auto now = Steady::now();
      if (now >= next_refresh) {
        next_refresh += kRefreshPeriod;
        if (const auto texts = transfer.refresh(std::time(nullptr)); texts && terminal) show_progress(*texts);
      }
      if (now >= next_supervision) {
        next_supervision += kSupervisionPeriod;
        flow_->supervise();
      }
      if (!ended) std::this_thread::sleep_for(kPoll);
    }
    if (terminal && progress_shown_) std::fputc('\n', stderr);
  }

 private:
  // A copy whose first Client finished is reported by the supervision once the
  // grace has passed, unless every target finishes first.
  bool waiting_for_supervision() const {
    const CopyEngine& engine = core_.copy_engine();
    return flow_ && engine.copy_running() && engine.first_done_deadline() != 0;
  }

  void show_progress(const RefreshTexts& t) {
    std::fprintf(stderr, "\r%4s  %s  elapsed %s  left %s  %s  acks %s  retries %s  %s\033[K", t.percentage.c_str(),
                 printable(t.file).c_str(), t.elapsed.c_str(), t.time_left.c_str(), t.rate.c_str(),
                 t.acknowledgements.c_str(), t.retries.c_str(), printable(t.client).c_str());
    progress_shown_ = true;
  }

  ControllerCore& core_;
  ConsoleUi& ui_;
  CopyFlow* flow_ = nullptr;
  bool progress_shown_ = false;
};

// The rows of the Clients named (by name or address); false after a message when
// one was not found.
bool check_requested(ControllerCore& core, const CopyArgs& a) {
  CheckListModel& rows = core.main_client_list().rows();
  if (a.all) {
    rows.check_all();
    return true;
  }
  bool all_found = true;
  for (const std::string& wanted : a.clients) {
    const auto address = Ipv4Address::parse(wanted);
    bool found = false;
    for (int r = 0; r < rows.row_count(); ++r) {
      if (rows.cell(r, 0) == wanted || (address && rows.cell(r, 1) == address->padded_text())) {
        rows.check(r);
        found = true;
      }
    }
    if (!found) {
      std::fprintf(stderr, "kestrelon-cli copy: no Client '%s' was discovered\n", printable(wanted).c_str());
      all_found = false;
    }
  }
  return all_found;
}

bool all_requested_listed(ControllerCore& core, const CopyArgs& a) {
  if (a.all) return false;
  const CheckListModel& rows = core.main_client_list().rows();
  for (const std::string& wanted : a.clients) {
    const auto address = Ipv4Address::parse(wanted);
    bool found = false;
    for (int r = 0; r < rows.row_count() && !found; ++r)
      found = rows.cell(r, 0) == wanted || (address && rows.cell(r, 1) == address->padded_text());
    if (!found) return false;
  }
  return true;
}

// The drive choice: disk N of every checked Client, as the drive dialog stores it.
bool choose_disk(ControllerCore& core, int disk) {
  if (disk == 0) return true;
  ClientRegistry::ModalLockHold hold(core.registry());
  CheckListModel& rows = core.main_client_list().rows();
  ClientTables& tables = core.tables();
  bool ok = true;
  for (int r = 0; r < rows.row_count(); ++r) {
    if (rows.check_state(r) != kChecked) continue;
    const auto address = address_from_padded_text(rows.cell(r, 1));
    const int c = address ? tables.find_client(*address) : -1;
    if (c < 0) continue;
    ClientRecord& client = tables.clients[static_cast<std::size_t>(c)];
    if (disk > client.disk_count) {
      std::fprintf(stderr, "kestrelon-cli copy: Client '%s' has %d disk(s), no disk %d\n",
                   printable(client.name_text()).c_str(), client.disk_count, disk);
      ok = false;
      continue;
    }
    client.selected_disk = static_cast<std::int16_t>(disk - 1);
  }
  core.main_client_list().update_rows_from_client_table();
  return ok;
}

void discover(ControllerCore& core, ConsoleUi& ui, const CopyArgs& a) {
  const auto start = Steady::now();
  auto next_discovery = start + std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
  while (!stop_requested() && Steady::now() - start < std::chrono::seconds(a.discover_seconds)) {
    ui.drain();
    core.idle_pass();
    if (all_requested_listed(core, a)) return;
    if (Steady::now() >= next_discovery) {
      core.registry().discover(false);
      next_discovery += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    std::this_thread::sleep_for(kPoll);
  }
}

}  // namespace

int run_copy(const Args& args) {
  CopyArgs a;
  if (const int code = parse(args, a)) return code < 0 ? 0 : code;

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.loopback, a.switch_words));
  if (!core.start()) {
    ui.drain();
    return 1;
  }
  discover(core, ui, a);
  int exit_code = 1;
  if (!stop_requested() && check_requested(core, a) && choose_disk(core, a.disk)) {
    const ProgramSettings settings = read_program_settings(core.settings());
    const CopyOptions options{.keep_partition_size = a.keep_partition_size || settings.keep_partition_size != 0,
                              .unique_sid = !a.no_sid && settings.unique_sid != 0,
                              .sector_by_sector = a.sector_by_sector};
    ConsoleCopyPort port(core, ui);
    CopyFlow flow(core, port);
    port.set_flow(&flow);
    const CopyFlowResult result = flow.run(a.image, options);
    if (result.succeeded()) {
      std::printf("Copied %s to %d client(s).\n", a.image.c_str(), result.targets);
      exit_code = 0;
    } else if (result.transfer_ran && result.targets > 0) {
      std::printf("%d of %d client(s) did not complete the copy.\n", result.not_done, result.targets);
    }
  }
  core.shutdown();
  ui.drain();
  return exit_code;
}

}  // namespace kestrelon::cli
