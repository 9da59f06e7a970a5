// kestrelon-cli interfaces: shows which local addresses get an endpoint, and
// which of those the setting "DisabledInterfaces" keeps out of broadcasts.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "cli_commands.h"
#include "console_ui.h"
#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "platform/local_addresses.h"

namespace kestrelon::cli {

namespace {

int run_interfaces(bool loopback) {
  ConsoleUi ui;
  ProgramLocks locks;
  NoticeBoard notices(ui);
  ReceiveDispatcher dispatcher(locks.receive, notices);
  EndpointTable endpoints(dispatcher, ui);
  const SettingsStore settings(SettingsStore::default_folder(), KESTRELON_FILE_VERSION);
  const bool started = endpoints.start_network(read_disabled_interfaces(settings), [loopback] {
    return AddressList{0, local_ipv4_addresses(loopback ? LoopbackAddresses::include
                                                        : LoopbackAddresses::only_when_alone)};
  });
  if (!started) return kExitFailed;
  std::printf("%d address(es), %d endpoint(s) open\n", endpoints.address_count(), endpoints.open_count());
  for (int i = 0; i < endpoints.open_count(); ++i) {
    std::printf("  %d  %s%s\n", i, endpoints.address(i).text().c_str(),
                endpoints.disabled(i) ? "  disabled (DisabledInterfaces)" : "");
  }
  endpoints.close_all();
  ui.drain();
  return kExitOk;
}

CommandRun define_interfaces(CLI::App& command) {
  auto loopback = std::make_shared<bool>(false);
  command.add_flag("--loopback", *loopback, "also open endpoints on loopback addresses");
  command.footer(
      "An interface marked disabled is switched off by the setting \"DisabledInterfaces\"\n"
      "(Options > Preferences... in the window): no broadcast leaves by it. Settings are read\n"
      "from $KESTRELON_SETTINGS_DIR, else $XDG_CONFIG_HOME/kestrelon or ~/.config/kestrelon.");
  return [loopback](const Args&) { return run_interfaces(*loopback); };
}

[[maybe_unused]] const bool registered = register_command(
    {"interfaces", "open an endpoint on every local address and list them, disabled ones marked",
     SwitchWords::refused, define_interfaces});

}  // namespace

}  // namespace kestrelon::cli
