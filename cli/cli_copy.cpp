// kestrelon-cli copy: discovers the Clients, checks the ones asked for and runs
// the Copy flow that the window runs, printing what the window would show. The
// exit code is 0 only when every target reported that it has written the image.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/program_settings.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "console_ui.h"
#include "core_options.h"
#include "model/client_row_text.h"
#include "progress_line.h"
#include "stop_signal.h"
#include "commands/copy_flow.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

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
  SessionArgs session;
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
      SessionArgs::kDefaultDiscoverSeconds, kCoreOptionsHelp);
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
    } else if (a == "--keep-partition-size") {
      out.keep_partition_size = true;
    } else if (a == "--no-sid") {
      out.no_sid = true;
    } else if (a == "--sector-by-sector") {
      out.sector_by_sector = true;
    } else if (const Taken t = take_session_arg(args, i, "copy", out.session); t != Taken::no) {
      if (t == Taken::failed) return 2;
    } else if (a.starts_with("--")) {
      std::fprintf(stderr, "kestrelon-cli copy: unknown option '%s' (see --help)\n", printable(a).c_str());
      return 2;
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
    ProgressLine progress;
    auto next_refresh = Steady::now();
    auto next_supervision = Steady::now() + kSupervisionPeriod;
    while (!ended) {
      ui_.drain();
      if (stop_requested() && !ended) transfer.cancel();
      core_.idle_pass();
      const auto now = Steady::now();
      if (now >= next_refresh) {
        next_refresh += kRefreshPeriod;
        if (const auto texts = transfer.refresh(std::time(nullptr))) progress.show(*texts);
      }
      if (now >= next_supervision) {
        next_supervision += kSupervisionPeriod;
        flow_->supervise();
      }
      if (!ended) std::this_thread::sleep_for(kPoll);
    }
  }

 private:
  // A copy whose first Client finished is reported by the supervision once the
  // grace has passed, unless every target finishes first.
  bool waiting_for_supervision() const {
    const CopyEngine& engine = core_.copy_engine();
    return flow_ && engine.copy_running() && engine.first_done_deadline() != 0;
  }

  ControllerCore& core_;
  ConsoleUi& ui_;
  CopyFlow* flow_ = nullptr;
};

}  // namespace

int run_copy(const Args& args) {
  CopyArgs a;
  if (const int code = parse(args, a)) return code < 0 ? 0 : code;

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.session.loopback, a.session.switch_words));
  if (!core.start()) {
    ui.drain();
    return 1;
  }
  discover_clients(core, ui, a.all ? std::vector<std::string>{} : a.clients, a.session.discover_seconds);
  int exit_code = 1;
  if (!stop_requested() && check_clients(core, a.all, a.clients, "copy") && choose_disk(core, a.disk, "copy")) {
    const ProgramSettings settings = read_program_settings(core.settings());
    const CopyOptions options{.keep_partition_size = a.keep_partition_size || settings.keep_partition_size != 0,
                              .unique_sid = !a.no_sid && settings.unique_sid != 0,
                              .sector_by_sector = a.sector_by_sector};
    ConsoleCopyPort port(core, ui);
    CopyFlow flow(core, port);
    port.set_flow(&flow);
    const CopyFlowResult result = flow.run(a.image, options);
    if (result.succeeded()) {
      // The rate in decimal megabytes per second, for scripts and the benchmark.
      std::printf("Copied %s (%llu bytes) to %d client(s) in %.3f s: %.2f MB/s.\n", a.image.c_str(),
                  static_cast<unsigned long long>(result.image_bytes), result.targets, result.seconds,
                  result.seconds > 0 ? static_cast<double>(result.image_bytes) / result.seconds / 1e6 : 0.0);
      std::printf("%llu blocks sent for %llu, %d resend request(s).\n",
                  static_cast<unsigned long long>(result.blocks_sent),
                  static_cast<unsigned long long>(image::block_count(result.image_bytes)), result.retries);
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
