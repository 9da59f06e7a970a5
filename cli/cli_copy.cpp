// kestrelon-cli copy: discovers the Clients, checks the ones asked for and runs
// the Copy flow that the window runs, printing what the window would show. The
// exit code is 0 only when every target reported that it has written the image.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "app/group_store.h"
#include "app/program_settings.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "console_ui.h"
#include "core_options.h"
#include "model/client_row_text.h"
#include "progress_line.h"
#include "stop_signal.h"
#include "commands/copy_flow.h"
#include "commands/group_load.h"

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
  std::string group;  // the members of this group on their stored disks
  bool allow_missing = false;
  bool keep_partition_size = false;
  bool no_sid = false;
  bool sector_by_sector = false;
  SessionArgs session;
};

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

// Checks the rows of the group's members that answered, on their stored disks, as
// Load Group does. False after a message when the group does not exist, when no
// member answered, or when one did not and missing members are not allowed.
bool check_group(ControllerCore& core, ConsoleUi& ui, const CopyArgs& a) {
  const GroupStore store(core.profile());
  CheckListModel members;
  members.insert_client_columns();
  read_group_rows(store, a.group, members);
  if (!store.find(a.group) || members.row_count() == 0) {
    std::fprintf(stderr, "kestrelon-cli copy: no group '%s' with members in %s\n", printable(a.group).c_str(),
                 core.profile().path().c_str());
    return false;
  }
  std::vector<std::string> wanted;
  for (int r = 0; r < members.row_count(); ++r) wanted.push_back(members.cell(r, 1));
  discover_clients(core, ui, wanted, a.session.discover_seconds);
  const int missing = apply_group_rows(core, members);
  if (missing == 0) return true;
  std::vector<ClientRowFields> absent;
  for (int r = 0; r < members.row_count(); ++r)
    if (members.check_state(r) != kChecked) absent.push_back(members.client_row(r));
  print_rows("Group members not on the network", absent);
  if (missing == members.row_count()) {
    std::fprintf(stderr, "kestrelon-cli copy: no member of group '%s' answered\n", printable(a.group).c_str());
    return false;
  }
  if (a.allow_missing) return true;
  std::fprintf(stderr, "kestrelon-cli copy: %d member(s) of group '%s' did not answer; nothing was copied "
               "(--allow-missing copies to the others)\n", missing, printable(a.group).c_str());
  return false;
}

// Checks the Clients to copy to: the group's members, or those named, or all.
bool choose_targets(ControllerCore& core, ConsoleUi& ui, const CopyArgs& a) {
  if (!a.group.empty()) return check_group(core, ui, a);
  discover_clients(core, ui, a.all ? std::vector<std::string>{} : a.clients, a.session.discover_seconds);
  return !stop_requested() && check_clients(core, a.all, a.clients, "copy") && choose_disk(core, a.disk, "copy");
}

int run_copy(const CopyArgs& a, const Args& switch_words) {
  if ((a.all ? 1 : 0) + (a.clients.empty() ? 0 : 1) + (a.group.empty() ? 0 : 1) != 1)
    return usage_error("copy", "give either --all, one or more --client, or --group");

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.session.loopback, switch_words));
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  int exit_code = kExitFailed;
  if (choose_targets(core, ui, a) && !stop_requested()) {
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
      exit_code = kExitOk;
    } else if (result.transfer_ran && result.targets > 0) {
      std::printf("%d of %d client(s) did not complete the copy.\n", result.not_done, result.targets);
    }
  }
  core.shutdown();
  ui.drain();
  return exit_code;
}

CommandRun define_copy(CLI::App& command) {
  auto a = std::make_shared<CopyArgs>();
  command.add_option("IMAGE", a->image, "the image file to send")->required();
  CLI::Option* client =
      command.add_option("--client", a->clients, "the Client named X or with address X (repeat for more)")
          ->type_name("X")
          ->allow_extra_args(false);
  CLI::Option* all = command.add_flag("--all", a->all, "every Client discovered")->excludes(client);
  CLI::Option* disk = command.add_option("--disk", a->disk, "overwrite disk N (1 = the first disk each Client lists)")
                          ->type_name("N")
                          ->check(CLI::Range(1, kMaxDisks));
  CLI::Option* group =
      command.add_option("--group", a->group, "the members of group NAME that answer, each on its stored disk")
          ->type_name("NAME")
          ->excludes(client)
          ->excludes(all)
          ->excludes(disk);
  command.add_flag("--allow-missing", a->allow_missing,
                   "with --group: copy even when members do not answer (they are listed)")
      ->needs(group);
  command.add_flag("--keep-partition-size", a->keep_partition_size,
                   "keep the partitions' sizes (the stored preference also counts)");
  command.add_flag("--no-sid", a->no_sid, "do not create a unique NT SID");
  command.add_flag("--sector-by-sector", a->sector_by_sector, "force sector-by-sector copying");
  add_session_options(command, a->session);
  command.footer(std::string("Multicasts IMAGE to the chosen Clients at once, as the window's Copy command does.\n"
                             "Exit code 0 only when every target reported completion. With --group, a member\n"
                             "that does not answer is listed and nothing is copied, unless --allow-missing.\n\n") +
                 kCoreOptionsHelp);
  return [a](const Args& switch_words) { return run_copy(*a, switch_words); };
}

[[maybe_unused]] const bool registered = register_command(
    {"copy", "multicast an image file to the chosen Clients", SwitchWords::taken, define_copy});

}  // namespace

}  // namespace kestrelon::cli
