// kestrelon-cli create: discovers the Clients, checks the one asked for and runs
// the Create flow that the window runs: the Client uploads its disk and the
// Controller writes the image file. The exit code is 0 only when the upload's end
// record was seen and the file was closed whole.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "client_choice.h"
#include "console_ui.h"
#include "core_options.h"
#include "progress_line.h"
#include "stop_signal.h"
#include "commands/create_flow.h"
#include "commands/headless_receiving_dialog.h"

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
  SessionArgs session;
};

// The command line's dialogs: the file name and the Receiving Disk Image choices
// come from the arguments, the Receiving dialog is a progress line with the
// supervision behind it, and Ctrl-C is its Cancel button.
class ConsoleCreatePort final : public CreatePort {
 public:
  ConsoleCreatePort(ControllerCore& core, ConsoleUi& ui, const CreateArgs& args)
      : core_(core), ui_(ui), args_(args) {}

  void show_message(const std::string& text) override { ui_.show_message(text); }

  std::optional<std::string> choose_image_path(const std::string&) override { return args_.out; }

  std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo& info) override {
    std::printf("Receiving Disk Image\n  Client Name:        %s\n  Client IP Address:  %s\n  Size of Disk Image: %s\n",
                printable(info.client_name).c_str(), info.address_text.c_str(), info.size_text.c_str());
    std::fflush(stdout);
    if (stop_requested()) return std::nullopt;
    return ReceiveImageChoice{args_.description, args_.compression};
  }

  std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo& info) override {
    const std::time_t opened = std::time(nullptr);
    ReceiveEngine& engine = core_.receive_engine();
    const TransferStats& stats = core_.transfer_stats();
    return std::make_unique<HeadlessReceivingDialog>(HeadlessReceivingDialog::Hooks{
        .supervise = [&engine] { engine.supervise(); },
        .refresh =
            [this, info, opened, &stats](std::int32_t position) {
              progress_.show(receiving_refresh_texts(stats, position, std::time(nullptr) - opened, info));
            },
        .idle =
            [this] {
              ui_.drain();
              core_.idle_pass();
            },
        .cancel_requested = [] { return stop_requested(); },
    });
  }

  void image_folder_chosen(const std::string&) override { progress_.end(); }

 private:
  ControllerCore& core_;
  ConsoleUi& ui_;
  const CreateArgs& args_;
  ProgressLine progress_;
};

int run_create(const CreateArgs& a, const Args& switch_words) {
  std::error_code ec;
  if (!a.overwrite && std::filesystem::exists(a.out, ec)) {
    return usage_error("create", a.out + " exists already (--overwrite replaces it)");
  }

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.session.loopback, switch_words));
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  discover_clients(core, ui, {a.client}, a.session.discover_seconds);
  int exit_code = kExitFailed;
  if (!stop_requested() && check_clients(core, false, {a.client}, "create") && choose_disk(core, a.disk, "create")) {
    ConsoleCreatePort port(core, ui, a);
    CreateFlow flow(core);
    const CreateFlowResult result =
        flow.run(CreateFlow::checked_addresses(core.main_client_list().rows()), a.sector_by_sector, port);
    ui.drain();
    if (result.completed()) {
      std::error_code size_error;
      const auto size = std::filesystem::file_size(result.path, size_error);
      const double bytes = size_error ? 0.0 : static_cast<double>(size);
      const double seconds = core.receive_engine().upload_milliseconds() / 1000.0;
      std::printf("Created %s (%.0f bytes) in %.2f s: %.1f MB/s.\n", result.path.c_str(), bytes, seconds,
                  seconds > 0 ? bytes / seconds / 1e6 : 0.0);
      exit_code = kExitOk;
    } else if (result.end == CreateFlowEnd::file_not_created) {
      std::fprintf(stderr, "kestrelon-cli create: cannot create %s: %s\n", result.path.c_str(),
                   std::strerror(result.open_error));
    } else if (result.end == CreateFlowEnd::client_not_found) {
      std::fprintf(stderr, "kestrelon-cli create: the Client went away before the Create started\n");
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
      ->check(CLI::Range(1, kMaxDisks));
  command.add_option("--out", a->out, "the image file to write (\".krn\" by custom)")
      ->type_name("FILE")
      ->required()
      ->check([](const std::string& v) { return v.empty() ? std::string("needs a file name") : std::string(); });
  command
      .add_option("--description", a->description,
                  "stored in the image, at most " + std::to_string(CreateFlow::kDescriptionLimit) + " characters")
      ->type_name("TEXT")
      ->check([](const std::string& v) {
        return v.size() > CreateFlow::kDescriptionLimit ? std::string("the description is longer than 400 characters")
                                                         : std::string();
      });
  command.add_option("--compression", a->compression, "0 (none) to 9 (maximum, the default)")
      ->type_name("L")
      ->check(CLI::Range(0, 9));
  command.add_flag("--sector-by-sector", a->sector_by_sector, "force sector-by-sector copying");
  command.add_flag("--overwrite", a->overwrite, "replace FILE when it exists (otherwise refused)");
  add_session_options(command, a->session);
  command.footer(std::string("Has one Client upload one of its disks into FILE, as the window's Create command\n"
                             "does. Exit code 0 only when the upload ended whole.\n\n") +
                 kCoreOptionsHelp);
  return [a](const Args& switch_words) { return run_create(*a, switch_words); };
}

[[maybe_unused]] const bool registered = register_command(
    {"create", "have one Client upload a disk into an image file", SwitchWords::taken, define_create});

}  // namespace

}  // namespace kestrelon::cli
