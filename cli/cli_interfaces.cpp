// kestrelon-cli interfaces: shows which local addresses get an endpoint.
#include <cstdio>

#include "cli_commands.h"
#include "console_ui.h"
#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "platform/local_addresses.h"

namespace kestrelon::cli {

int run_interfaces(const Args& args) {
  bool loopback = false;
  for (const auto& a : args) {
    if (a == "--loopback") {
      loopback = true;
    } else if (a == "--help") {
      std::printf("usage: kestrelon-cli interfaces [--loopback]\n"
                  "  --loopback  also open endpoints on loopback addresses\n");
      return 0;
    } else {
      std::fprintf(stderr, "kestrelon-cli interfaces: unknown option '%s'\n", a.c_str());
      return 2;
    }
  }
  ConsoleUi ui;
  ProgramLocks locks;
  NoticeBoard notices(ui);
  ReceiveDispatcher dispatcher(locks.receive, notices);
  EndpointTable endpoints(dispatcher, ui);
  const bool started = endpoints.start_network("", [loopback] {
    return AddressList{0, local_ipv4_addresses(loopback ? LoopbackAddresses::include
                                                        : LoopbackAddresses::only_when_alone)};
  });
  if (!started) return 1;
  std::printf("%d address(es), %d endpoint(s) open\n", endpoints.address_count(), endpoints.open_count());
  for (int i = 0; i < endpoints.open_count(); ++i) {
    std::printf("  %d  %s\n", i, endpoints.address(i).text().c_str());
  }
  endpoints.close_all();
  ui.drain();
  return endpoints.open_count() >= 0 ? 0 : 1;
}

}  // namespace kestrelon::cli
