// kestrelon-cli create: discovers the Clients, checks the one asked for and runs
// the Create flow that the window runs: the Client uploads its disk and the
// Controller writes the image file. The exit code is 0 only when the upload's end
// record was seen and the file was closed whole.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
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

void print_help() {
  std::printf(
      "usage: kestrelon-cli create --client ADDRESS_OR_NAME [--disk N] --out FILE\n"
      "                            [--description TEXT] [--compression 0-9] [--sector-by-sector]\n"
      "                            [--overwrite] [--discover-seconds S] [--loopback] [SWITCHES]\n"
      "  Has one Client upload one of its disks and writes the image file FILE, as the\n"
      "  window's Create command does. Exit code 0 only when the upload ended whole.\n"
      "  --client X           the Client named X or with address X\n"
      "  --disk N             read disk N (1 = the first disk the Client lists)\n"
      "  --out FILE           the image file to write (\".krn\" by custom)\n"
      "  --description TEXT   stored in the image, at most %zu characters\n"
      "  --compression L      0 (none) to 9 (maximum, the default)\n"
      "  --sector-by-sector   force sector-by-sector copying\n"
      "  --overwrite          replace FILE when it exists (otherwise refused)\n"
      "  --discover-seconds S discover for at most S seconds first (default %d)\n"
      "%s",
      CreateFlow::kDescriptionLimit, SessionArgs::kDefaultDiscoverSeconds, kCoreOptionsHelp);
}

// 0 to go on, -1 after --help, else the exit code.
int parse(const Args& args, CreateArgs& out) {
  auto fail = [](const char* text) {
    std::fprintf(stderr, "kestrelon-cli create: %s\n", text);
    return 2;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    long n = 0;
    const bool has_value = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      print_help();
      return -1;
    } else if (a == "--client") {
      if (!has_value) return fail("--client needs a name or an address");
      out.client = args[++i];
    } else if (a == "--disk") {
      if (!read_number(args, i, 1, kMaxDisks, n)) return fail("--disk needs a disk number from 1 to 4");
      out.disk = static_cast<int>(n);
    } else if (a == "--out") {
      if (!has_value || args[i + 1].empty()) return fail("--out needs a file name");
      out.out = args[++i];
    } else if (a == "--description") {
      if (!has_value) return fail("--description needs a text");
      out.description = args[++i];
      if (out.description.size() > CreateFlow::kDescriptionLimit)
        return fail("the description is longer than 400 characters");
    } else if (a == "--compression") {
      if (!read_number(args, i, 0, 9, n)) return fail("--compression needs a level from 0 to 9");
      out.compression = static_cast<int>(n);
    } else if (a == "--sector-by-sector") {
      out.sector_by_sector = true;
    } else if (a == "--overwrite") {
      out.overwrite = true;
    } else if (const Taken t = take_session_arg(args, i, "create", out.session); t != Taken::no) {
      if (t == Taken::failed) return 2;
    } else {
      std::fprintf(stderr, "kestrelon-cli create: unknown argument '%s' (see --help)\n", printable(a).c_str());
      return 2;
    }
  }
  if (out.client.empty()) return fail("which Client? (--client, see --help)");
  if (out.out.empty()) return fail("which image file? (--out, see --help)");
  return 0;
}

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

}  // namespace

int run_create(const Args& args) {
  CreateArgs a;
  if (const int code = parse(args, a)) return code < 0 ? 0 : code;
  std::error_code ec;
  if (!a.overwrite && std::filesystem::exists(a.out, ec)) {
    std::fprintf(stderr, "kestrelon-cli create: %s exists already (--overwrite replaces it)\n", a.out.c_str());
    return 2;
  }

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.session.loopback, a.session.switch_words));
  if (!core.start()) {
    ui.drain();
    return 1;
  }
  discover_clients(core, ui, {a.client}, a.session.discover_seconds);
  int exit_code = 1;
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
      exit_code = 0;
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

}  // namespace kestrelon::cli
