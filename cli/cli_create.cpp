// kestrelon-cli create: discovers the Clients, checks the one asked for and runs
// the Create flow that the window runs: the Client uploads its disk and the
// Controller writes the image file, showing the Client's step and the progress.
// The exit code is 0 only when the upload's end record was seen and the file was
// closed whole; 2 for a mistake found before any network is opened.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/switch_check.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "commands/create_flow.h"
#include "commands/headless_receiving_dialog.h"
#include "commands/image_description.h"
#include "commands/transfer_checks.h"
#include "console_ui.h"
#include "core_options.h"
#include "error_report.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "transfer_output.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

struct CreateArgs {
  std::string client;
  int disk = 0;  // 1-based; 0 = the Client's current choice (its first disk)
  std::string out;
  std::string description;
  int compression = 9;  // the slider's initial position
  bool sector_by_sector = false;
  bool overwrite = false;
  bool json = false;
  SessionArgs session;
};

// The command line's dialogs: the file name and the Receiving Disk Image choices
// come from the arguments, the Receiving dialog is a progress line (or progress
// events) with the supervision behind it, and Ctrl-C is its Cancel button.
class ConsoleCreatePort final : public CreatePort {
 public:
  ConsoleCreatePort(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const CreateArgs& args)
      : core_(core), ui_(ui), output_(output), args_(args) {}

  void show_message(const std::string& text) override { ui_.show_message(text); }

  std::optional<std::string> choose_image_path(const std::string&) override { return args_.out; }

  std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo& info) override {
    output_.text("Receiving Disk Image\n  Client Name:        " + printable(info.client_name) +
                 "\n  Client IP Address:  " + info.address_text + "\n  Size of Disk Image: " + info.size_text);
    source_ = TargetState{.name = info.client_name,
                          .address = address_from_padded_text(info.address_text).value_or(Ipv4Address())};
    if (stop_requested()) return std::nullopt;
    return ReceiveImageChoice{args_.description, args_.compression};
  }

  std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo& info) override {
    const auto opened = std::chrono::steady_clock::now();
    const std::time_t opened_at = std::time(nullptr);
    ReceiveEngine& engine = core_.receive_engine();
    const TransferStats& stats = core_.transfer_stats();
    return std::make_unique<HeadlessReceivingDialog>(HeadlessReceivingDialog::Hooks{
        .supervise = [&engine] { engine.supervise(); },
        .refresh =
            [this, info, opened, opened_at, &stats](std::int32_t position) {
              const RefreshTexts texts = receiving_refresh_texts(stats, position, std::time(nullptr) - opened_at, info);
              output_.progress(
                  {.done_bytes = std::uint64_t{stats.progress_done.load()} * 1024,
                   .total_bytes = std::uint64_t{stats.progress_total.load()} * 1024,
                   .elapsed_seconds =
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count(),
                   .texts = texts});
            },
        .idle =
            [this] {
              // The dialog runs once the request has gone out.
              if (source_.step == TargetStep::listed) {
                source_.step = TargetStep::start_sent;
                output_.client(source_);
              }
              ui_.drain();
              core_.idle_pass();
            },
        .cancel_requested = [] { return stop_requested(); },
    });
  }

  void image_folder_chosen(const std::string&) override {}

 private:
  ControllerCore& core_;
  ConsoleUi& ui_;
  TransferOutput& output_;
  const CreateArgs& args_;
  TargetState source_;
};

int run_create(CreateArgs a, const Args& switch_words) {
  // As the window's save-file dialog does: a name without an extension gets ".krn".
  // A folder stays a folder, to be refused below.
  std::error_code ec;
  if (std::filesystem::path(a.out).extension().empty() && !a.out.ends_with('/') &&
      !std::filesystem::is_directory(a.out, ec)) {
    a.out += ".krn";
  }
  if (const std::string problem = switch_words_problem(switch_words); !problem.empty()) {
    return usage_error("create", problem);
  }
  if (const std::string problem = output_problem(a.out, a.overwrite); !problem.empty()) {
    return usage_error("create", problem + (problem.ends_with("exists already") ? " (--overwrite replaces it)" : ""));
  }

  install_stop_signals();
  TransferOutput output(a.json);
  ConsoleUi ui;
  ui.set_output(&output);
  CoreOptions core_options = make_core_options(a.session.loopback, switch_words);
  core_options.program = "kestrelon-cli";
  ControllerCore core(ui, std::move(core_options));
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  discover_clients(core, ui, {a.client}, a.session.discover_seconds);
  int exit_code = kExitFailed;
  if (!stop_requested() && report_missing("create", check_clients(core, false, {a.client}), core.main_client_list().rows(),
                                                 a.session.discover_seconds) &&
      report_lacking("create", a.disk, choose_disk(core, a.disk, false))) {
    ConsoleCreatePort port(core, ui, output, a);
    CreateFlow flow(core);
    core.program_options().sector_by_sector = a.sector_by_sector;
    const CreateFlowResult result = flow.run(CreateFlow::checked_addresses(core.main_client_list().rows()),
                                             core.program_options().sector_by_sector, port);
    ui.drain();
    if (!result.journal.kind.empty()) {
      for (const TargetState& t : result.journal.targets) output.client(t);
      output.summary(result.journal);
    }
    if (result.completed()) {
      const JournalFacts& j = result.journal;
      char line[512];
      std::snprintf(line, sizeof line, "Created %s (%llu bytes) in %.2f s: %.1f MB/s.", result.path.c_str(),
                    static_cast<unsigned long long>(j.bytes), j.seconds,
                    j.seconds > 0 ? static_cast<double>(j.bytes) / j.seconds / 1e6 : 0.0);
      output.text(line);
      exit_code = kExitOk;
    } else if (result.end == CreateFlowEnd::file_not_created) {
      report_error("create", "cannot create " + result.path + ": " + std::strerror(result.open_error));
    } else if (result.end == CreateFlowEnd::client_not_found) {
      report_error("create", "the Client went away before the Create started");
    }
  }
  core.shutdown();
  ui.drain();
  return exit_code;
}

CommandRun define_create(CLI::App& command) {
  auto a = std::make_shared<CreateArgs>();
  command.add_option("--client", a->client, "the Client named X or with address X")->type_name("X")->required();
  command.add_option("--disk", a->disk, "read disk N (1 = the first disk the Client lists)")
      ->type_name("N")
      ->check(whole_number(1, kMaxDisks));
  command.add_option("--out", a->out, "the image file to write (\".krn\" is added to a name without an extension)")
      ->type_name("FILE")
      ->required()
      ->check([](const std::string& v) { return v.empty() ? std::string("needs a file name") : std::string(); });
  command
      .add_option("--description", a->description,
                  "stored in the image: at most " + std::to_string(kDescriptionCharacters) + " characters in " +
                      std::to_string(kDescriptionBytes) + " bytes of UTF-8")
      ->type_name("TEXT")
      ->check([](const std::string& v) { return description_problem(v); });
  command.add_option("--compression", a->compression, "0 (none) to 9 (maximum, the default)")
      ->type_name("L")
      ->check(whole_number(0, 9));
  command.add_flag("--sector-by-sector", a->sector_by_sector, "force sector-by-sector copying");
  command.add_flag("--overwrite", a->overwrite, "replace FILE when it exists (otherwise refused)");
  command.add_flag("--json", a->json, "print one JSON object per line: the Client's step, progress, a summary");
  add_session_options(command, a->session);
  command.footer(std::string("Has one Client upload one of its disks into FILE, as the window's Create command\n"
                             "does. Exit code: 0 the upload ended whole; 1 it did not; 2 a mistake in the\n"
                             "command line or the output file, found before the network is opened.\n"
                             "Each upload is recorded in the transfer journal ('kestrelon-cli history').\n\n") +
                 kCoreOptionsHelp);
  return [a](const Args& switch_words) { return run_create(*a, switch_words); };
}

[[maybe_unused]] const bool registered = register_command(
    {"create", "have one Client upload a disk into an image file", SwitchWords::taken, define_create});

}  // namespace

}  // namespace kestrelon::cli
