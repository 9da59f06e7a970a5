// kestrelon-cli copy: checks its arguments and the image, discovers the Clients,
// checks the ones asked for and runs the Copy flow that the window runs, showing
// each Client's step as it happens. Exit code 0 when every target reported that
// it has written the image, 3 when that holds but Clients were left out
// (--skip-unready), 1 when a target did not finish or nothing was copied, 2 for a
// mistake in the command line or the image (found before any network is opened).

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/group_store.h"
#include "app/program_options.h"
#include "app/switch_check.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "commands/copy_flow.h"
#include "commands/group_load.h"
#include "commands/room_targets.h"
#include "commands/schedule_flow.h"
#include "commands/transfer_checks.h"
#include "console_ui.h"
#include "core_options.h"
#include "error_report.h"
#include "model/client_row_text.h"
#include "room_dry_run.h"
#include "room_job.h"
#include "scheduled_start.h"
#include "stop_signal.h"
#include "transfer_output.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kExitSkipped = 3;
constexpr auto kPoll = 20ms;
constexpr auto kRefreshPeriod = 333ms;
constexpr auto kSupervisionPeriod = 500ms;
// The window's timed message closes itself after about 9 s; meanwhile its timers
// run the supervision. Nobody reads a terminal's message for 9 s, so the command
// line waits only while the supervision may still have something to report.
constexpr auto kTimedMessageLength = 9s;
constexpr int kDefaultReadySeconds = 30;
constexpr int kDefaultReportSeconds = static_cast<int>(AfterCopyReports::kWait / 1000);
constexpr auto kReportPoll = 200ms;

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
  bool skip_unready = false;
  int ready_seconds = kDefaultReadySeconds;
  bool json = false;
  StartArgs start;
  RoomArgs room;      // --wake, --min-clients, --max-wait, --include-protected, --dry-run
  bool keep_names = false;  // no computer names from the name plans
  int report_seconds = kDefaultReportSeconds;  // the wait for the PCs' reports after the copy
  bool fast = false;  // the Controller's "-fast 1"
  int rate_mbs = 0;   // the Controller's "-rate N"
  SessionArgs session;
};

// The command line's dialogs: lists and messages printed, the Transfer dialog a
// loop that shows each Client's step and the progress, runs the supervision, and
// gives up when not every target has answered the start request in time.
class ConsoleCopyPort final : public CopyFlowPort {
 public:
  ConsoleCopyPort(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, int ready_seconds)
      : core_(core), ui_(ui), output_(output), ready_wait_(std::chrono::seconds(ready_seconds)) {}
  void set_flow(CopyFlow* flow) { flow_ = flow; }

  // Prints the steps the copy report has seen since the last call.
  void show_events() {
    for (const TargetState& t : core_.copy_report().take_events()) output_.client(t);
  }

  void show_message(const std::string& text) override { ui_.show_message(text); }

  void names_planned(const CopyNamePlan& plan) override {
    for (const NamedTarget& t : plan.targets) output_.naming(t);
  }
  void after_copy_reported(const JournalRecord& record) override { output_.after_copy(record); }

  // After the copy: the PCs that took a computer name write it and report;
  // their reports are waited for (until Ctrl-C) and recorded.
  void wait_for_after_copy(int seconds) {
    if (!flow_->awaiting_after_copy()) return;
    output_.message("waiting up to " + std::to_string(seconds) +
                    " s for the PCs to report what they did after the copy (their computer names)");
    while (flow_->awaiting_after_copy() && !stop_requested()) {
      ui_.drain();
      flow_->supervise();
      std::this_thread::sleep_for(kReportPoll);
    }
  }

  void show_low_disk_space(const std::vector<ClientRowFields>& clients) override {
    output_.rows("List Of Clients With Insufficient Disk Space", clients);
    output_.text("Following clients have insuficient disk space for the image being sent.");
  }

  void show_failed_clients(const std::vector<ClientRowFields>& clients) override {
    output_.rows("List of failed Clients", clients);
  }

  void show_timed_message(const std::string& text) override {
    output_.message(text);
    const auto end = Steady::now() + kTimedMessageLength;
    while (Steady::now() < end && waiting_for_supervision()) {
      ui_.drain();
      flow_->supervise();
      std::this_thread::sleep_for(kPoll);
    }
  }

  void run_transfer_dialog(CopyTransfer& transfer) override {
    bool ended = false;
    show_events();
    const auto opened = Steady::now();
    const std::time_t opened_at = std::time(nullptr);
    if (!transfer.open(opened_at, [&ended] { ended = true; })) return;
    auto next_refresh = opened;
    auto next_supervision = opened + kSupervisionPeriod;
    const CopyEngine& engine = core_.copy_engine();
    while (!ended) {
      ui_.drain();
      show_events();
      if (stop_requested() && !ended) transfer.cancel();
      if (!ended && engine.ready_count() < engine.target_count() && Steady::now() - opened > ready_wait_) {
        output_.message("not every Client answered the start request within " +
                        std::to_string(ready_wait_.count()) + " s");
        transfer.cancel();
      }
      core_.idle_pass();
      const auto now = Steady::now();
      if (now >= next_refresh) {
        next_refresh += kRefreshPeriod;
        if (const auto texts = transfer.refresh(std::time(nullptr))) {
          const TransferStats& stats = core_.transfer_stats();
          output_.progress({.done_bytes = std::uint64_t{stats.progress_done.load()} * 1024,
                            .total_bytes = std::uint64_t{stats.progress_total.load()} * 1024,
                            .elapsed_seconds = std::chrono::duration<double>(now - opened).count(),
                            .texts = *texts});
        }
      }
      if (now >= next_supervision) {
        next_supervision += kSupervisionPeriod;
        flow_->supervise();
      }
      if (!ended) std::this_thread::sleep_for(kPoll);
    }
    show_events();
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
  TransferOutput& output_;
  const std::chrono::seconds ready_wait_;
  CopyFlow* flow_ = nullptr;
};

LeftOutClient offline(const std::string& name, Ipv4Address address) {
  return {name, address, CopyFlow::kOfflineReason};
}

// Checks the rows of the group's members that answered, on their stored disks, as
// Load Group does; the members that did not answer are returned, to be left out.
// Nothing after a message when the group does not exist, when no member
// answered, or when one did not and neither --allow-missing nor --skip-unready
// lets the copy go ahead without it.
std::optional<std::vector<LeftOutClient>> check_group(ControllerCore& core, ConsoleUi& ui, TransferOutput& output,
                                                      const CopyArgs& a) {
  const GroupStore store(core.profile());
  CheckListModel members;
  members.insert_client_columns();
  read_group_rows(store, a.group, members);
  if (!store.find(a.group) || members.row_count() == 0) {
    report_error("copy", "no group '" + printable(a.group) + "' with members in " + core.profile().path().string());
    return std::nullopt;
  }
  std::vector<std::string> wanted;
  for (int r = 0; r < members.row_count(); ++r) wanted.push_back(members.cell(r, 0));
  discover_clients(core, ui, wanted, a.session.discover_seconds);
  const GroupLoad load = load_group(core, members);
  for (const MovedMember& m : load.moved) output.message(moved_member_text(m));
  const int missing = load.missing;
  std::vector<LeftOutClient> left_out;
  std::vector<ClientRowFields> absent;
  for (int r = 0; r < members.row_count(); ++r) {
    if (members.check_state(r) == kChecked) continue;
    absent.push_back(members.client_row(r));
    left_out.push_back(offline(members.cell(r, 0), address_from_padded_text(members.cell(r, 1)).value_or(Ipv4Address())));
  }
  if (missing == 0) return left_out;
  output.rows("Group members not on the network", absent);
  if (missing == members.row_count() && !a.skip_unready) {
    report_error("copy", "no member of group '" + printable(a.group) + "' answered");
    return std::nullopt;
  }
  if (a.allow_missing || a.skip_unready) return left_out;
  report_error("copy", std::to_string(missing) + " member(s) of group '" + printable(a.group) +
                           "' did not answer; nothing was copied (--allow-missing or --skip-unready copies to the "
                           "others)");
  return std::nullopt;
}

// The Clients asked for that are left out before the copy: not discovered, or
// without the disk asked for. Without --skip-unready each stops the copy.
std::optional<std::vector<LeftOutClient>> check_named(ControllerCore& core, ConsoleUi& ui, const CopyArgs& a) {
  discover_clients(core, ui, a.all ? std::vector<std::string>{} : a.clients, a.session.discover_seconds);
  if (stop_requested()) return std::nullopt;
  const std::vector<std::string> missing = check_clients(core, a.all, a.all ? std::vector<std::string>{} : a.clients);
  const std::vector<DiskLack> lacking = choose_disk(core, a.disk, a.skip_unready);
  if (!a.skip_unready) {
    const bool found = report_missing("copy", missing, core.main_client_list().rows(), a.session.discover_seconds);
    if (!report_lacking("copy", a.disk, lacking) || !found) return std::nullopt;
    return std::vector<LeftOutClient>{};
  }
  std::vector<LeftOutClient> out;
  for (const std::string& m : missing) out.push_back(offline(m, Ipv4Address::parse(m).value_or(Ipv4Address())));
  for (const DiskLack& l : lacking) {
    out.push_back({l.name, l.address,
                   "no disk " + std::to_string(a.disk) + ": it has " + std::to_string(l.disk_count) + " disk(s)"});
  }
  return out;
}

// Checks the rows of the Clients to copy to (the group's members, those named,
// or all) and returns those left out; nothing when the copy is not to go ahead.
std::optional<std::vector<LeftOutClient>> choose_targets(ControllerCore& core, ConsoleUi& ui, TransferOutput& output,
                                                         const CopyArgs& a) {
  if (!a.group.empty()) return check_group(core, ui, output, a);
  return check_named(core, ui, a);
}

// With --allow-missing a group's absent members are left out as asked: only
// --skip-unready tells of them in the exit code.
int exit_code_of(const CopyFlowResult& result, bool skip_unready) {
  if (!result.succeeded()) return kExitFailed;
  return skip_unready && result.skipped > 0 ? kExitSkipped : kExitOk;
}

void print_totals(TransferOutput& output, const std::string& image, const CopyFlowResult& result) {
  if (result.succeeded()) {
    // The rate in decimal megabytes per second, for scripts and the benchmark.
    char line[512];
    std::snprintf(line, sizeof line, "Copied %s (%llu bytes) to %d client(s) in %.3f s: %.2f MB/s.", image.c_str(),
                  static_cast<unsigned long long>(result.image_bytes), result.targets, result.seconds,
                  result.seconds > 0 ? static_cast<double>(result.image_bytes) / result.seconds / 1e6 : 0.0);
    output.text(line);
    std::snprintf(line, sizeof line, "%llu blocks sent for %llu, %d resend request(s).",
                  static_cast<unsigned long long>(result.blocks_sent),
                  static_cast<unsigned long long>(image::block_count(result.image_bytes)), result.retries);
    output.text(line);
  } else if (result.transfer_ran && result.targets > 0) {
    output.text(std::to_string(result.not_done) + " of " + std::to_string(result.targets) +
                " client(s) did not complete the copy.");
  }
  if (result.skipped > 0) output.text(std::to_string(result.skipped) + " client(s) were left out.");
}

int run_copy(const CopyArgs& a, const Args& switch_words) {
  if ((a.all ? 1 : 0) + (a.clients.empty() ? 0 : 1) + (a.group.empty() ? 0 : 1) != 1)
    return usage_error("copy", "give either --all, one or more --client, or --group");
  if (const std::string problem = switch_words_problem(switch_words); !problem.empty()) {
    return usage_error("copy", problem);
  }
  if (const std::string problem = room_args_problem(a.room, !a.all); !problem.empty()) return usage_error("copy", problem);
  if (const std::string problem = image_problem(a.image); !problem.empty()) return usage_error("copy", problem);
  std::optional<std::int64_t> start;
  if (a.start.given()) {
    start = start_time(a.start, std::time(nullptr));
    if (!start) return usage_error("copy", "--at takes a clock time HH:MM, --after a delay such as 90s, 45m, 2h or 1h30m");
  }

  install_stop_signals();
  TransferOutput output(a.json);
  ConsoleUi ui;
  ui.set_output(&output);
  CoreOptions core_options = make_core_options(a.session.loopback, switch_words);
  core_options.program = "kestrelon-cli";
  if (a.fast) core_options.tuning.fast_copy = 1;
  if (a.rate_mbs > 0) core_options.tuning.rate_cap_mbs = a.rate_mbs;
  ControllerCore core(ui, std::move(core_options));
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  // The switches turn the stored options on or off for this run only.
  ProgramOptions& program_options = core.program_options();
  program_options.keep_partition_size = program_options.keep_partition_size || a.keep_partition_size;
  program_options.unique_sid = program_options.unique_sid && !a.no_sid;
  program_options.sector_by_sector = a.sector_by_sector;
  const CopyOptions options = program_options.copy_options();
  ConsoleCopyPort port(core, ui, output, a.ready_seconds);
  CopyFlow flow(core, port);
  port.set_flow(&flow);
  int exit_code = kExitFailed;
  // A room job plans, wakes and waits for its PCs first, then goes ahead with
  // those that came (as --skip-unready does).
  const bool room_job = a.room.waits() && !a.room.dry_run;
  const std::uint64_t image_sectors = image_needs_sectors(a.image, options.keep_partition_size).value_or(0);
  std::optional<RoomPcs> pcs;
  if (a.room.waits()) pcs = RoomPcs::of(core, a.group, a.clients, a.disk);
  if (a.room.waits() && (!pcs || a.room.dry_run)) {
    if (pcs && room_dry_run(core, ui, output, a.room, *pcs, a.image, image_sectors, a.session.discover_seconds))
      exit_code = kExitOk;
    core.shutdown();
    ui.drain();
    return exit_code;
  }
  std::unique_ptr<ConsoleRoomStart> room;
  const auto choose = [&]() -> std::optional<std::vector<LeftOutClient>> {
    if (!room_job) return choose_targets(core, ui, output, a);
    room = std::make_unique<ConsoleRoomStart>(core, ui, output, a.room, *pcs, image_sectors);
    if (!room->run()) return std::nullopt;
    CopyArgs present = a;
    present.skip_unready = true;
    present.allow_missing = true;
    present.session.discover_seconds = 1;
    auto out = choose_targets(core, ui, output, present);
    if (out) room->explain(*out);
    return out;
  };
  std::optional<std::vector<LeftOutClient>> left_out;
  if (start && room_job) {
    // The PCs may be off until the job wakes them: nothing to check before the start.
    ConsoleCountdown countdown(core, ui, output, *start);
    if (countdown.run_schedule_dialog()) left_out = choose();
  } else {
    left_out = choose();
    if (left_out && start && !stop_requested()) {
      // The Copy's checks now, so a mistake shows at once and not hours later; when
      // the time comes the Copy runs from its first step, every check again.
      ConsoleCountdown countdown(core, ui, output, *start);
      const CopyRequest early{.image_path = a.image, .options = options, .skip_unready = a.skip_unready};
      left_out = schedule_copy(flow, early, countdown) ? choose() : std::nullopt;
    }
  }
  std::size_t protected_count = 0;
  if (left_out) {
    const std::vector<LeftOutClient> kept = leave_out_protected(core, output, a.room.include_protected);
    protected_count = kept.size();
    left_out->insert(left_out->end(), kept.begin(), kept.end());
  }
  const bool skip = a.skip_unready || room_job || protected_count > 0;
  if (left_out && a.room.dry_run && !stop_requested()) {
    const CopyRequest planned{.image_path = a.image,
                              .options = options,
                              .skip_unready = skip,
                              .left_out = *left_out,
                              .group = a.group,
                              .keep_names = a.keep_names};
    exit_code = dry_run(core, flow, output, planned) ? kExitOk : kExitFailed;
  } else if (left_out && !stop_requested()) {
    const RoomStart* job = room ? room->room() : nullptr;
    const CopyFlowResult result = flow.run({.image_path = a.image,
                                            .options = options,
                                            .skip_unready = skip,
                                            .left_out = *left_out,
                                            .annotate =
                                                [job](JournalRecord& r) {
                                                  if (job) job->report().annotate(r);
                                                },
                                            .group = a.group,
                                            .keep_names = a.keep_names,
                                            .after_copy_wait = static_cast<Tick>(a.report_seconds) * 1000});
    port.show_events();
    if (!result.journal.kind.empty()) output.summary(result.journal);
    print_totals(output, a.image, result);
    port.wait_for_after_copy(a.report_seconds);
    exit_code = exit_code_of(result, skip);
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
                          ->check(whole_number(1, kMaxDisks));
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
  command.add_flag("--keep-names", a->keep_names,
                   "send no computer names: the copied systems keep the master's (without it, the name plans "
                   "beside the groups name each PC)");
  command
      .add_option("--report-seconds", a->report_seconds,
                  "wait at most S seconds after the copy for the PCs' reports of their computer names (default " +
                      std::to_string(kDefaultReportSeconds) + ")")
      ->type_name("S")
      ->check(whole_number(1, 86400));
  command.add_flag("--skip-unready", a->skip_unready,
                   "go ahead with the Clients (or group members) that are online and have room: the "
                   "others are listed as skipped, and the exit code is 3 when any were");
  command
      .add_option("--ready-seconds", a->ready_seconds,
                  "give up when not every target has answered the start request after S seconds (default " +
                      std::to_string(kDefaultReadySeconds) + ")")
      ->type_name("S")
      ->check(whole_number(1, 3600));
  command.add_flag("--json", a->json,
                   "print one JSON object per line: each Client's step, progress every tenth, messages, "
                   "and a summary");
  add_start_options(command, a->start);
  command.add_flag("--fast", a->fast, "fast mode: send as acknowledgements come, resend lost blocks alone (-fast 1)");
  command.add_option("--rate", a->rate_mbs, "send at most MBS megabytes (10^6 bytes) per second (-rate MBS)")
      ->type_name("MBS")
      ->check(whole_number(1, 100000));
  add_room_options(command, a->room);
  add_session_options(command, a->session);
  command.footer(std::string("Multicasts IMAGE to the chosen Clients at once, as the window's Copy command does,\n"
                             "and prints each Client's step as it happens (start sent, ready, done, or why not).\n"
                             "With --group, a member that does not answer is listed and nothing is copied,\n"
                             "unless --allow-missing or --skip-unready.\n"
                             "With --at or --after, the Clients, the image and the disk space are checked at\n"
                             "once; the copy then waits for its start (a countdown line on a terminal) and\n"
                             "checks everything again as it begins. Ctrl-C before the start sends nothing.\n"
                             "Exit code: 0 every target finished; 3 the same, but Clients were left out\n"
                             "(--skip-unready); 1 a target did not finish, or nothing was copied; 2 a mistake\n"
                             "in the command line or the image, found before the network is opened.\n"
                             "With --wake (or --min-clients, --max-wait) the targets are marked pending for the\n"
                             "boot service, woken, and awaited; the copy then goes to those that came up.\n"
                             "Protected Clients ('kestrelon-cli clients protect') are left out unless\n"
                             "--include-protected. --dry-run makes every check and sends nothing.\n"
                             "Each copy is recorded in the transfer journal ('kestrelon-cli history').\n\n") +
                 kCoreOptionsHelp);
  return [a](const Args& switch_words) { return run_copy(*a, switch_words); };
}

[[maybe_unused]] const bool registered = register_command(
    {"copy", "multicast an image file to the chosen Clients", SwitchWords::taken, define_copy});

}  // namespace

}  // namespace kestrelon::cli
