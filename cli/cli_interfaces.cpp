// kestrelon-cli interfaces: shows which local addresses get an endpoint.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

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
  const bool started = endpoints.start_network("", [loopback] {
    return AddressList{0, local_ipv4_addresses(loopback ? LoopbackAddresses::include
                                                        : LoopbackAddresses::only_when_alone)};
  });
  if (!started) return kExitFailed;
  std::printf("%d address(es), %d endpoint(s) open\n", endpoints.address_count(), endpoints.open_count());
  for (int i = 0; i < endpoints.open_count(); ++i) {
    std::printf("  %d  %s\n", i, endpoints.address(i).text().c_str());
  }
  endpoints.close_all();
  ui.drain();
  return endpoints.open_count() >= 0 ? kExitOk : kExitFailed;
}

CommandRun define_interfaces(CLI::App& command) {
  auto loopback = std::make_shared<bool>(false);
  command.add_flag("--loopback", *loopback, "also open endpoints on loopback addresses");
  return [loopback](const Args&) { return run_interfaces(*loopback); };
}

[[maybe_unused]] const bool registered = register_command(
    {"interfaces", "open an endpoint on every local address and list them", SwitchWords::refused,
     define_interfaces});

}  // namespace

}  // namespace kestrelon::cli
