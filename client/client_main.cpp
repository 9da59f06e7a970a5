// kestrelon-client: a Client of the disk-imaging system for Linux.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "client_options.h"
#include "client_runtime.h"

namespace {
kestrelon::client::ClientRuntime* g_runtime = nullptr;
void on_signal(int) {
  if (g_runtime) g_runtime->stop();
}
}  // namespace

int main(int argc, char** argv) {
  using namespace kestrelon::client;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParseResult parsed = parse_client_options(args);
  if (!parsed.options) {
    std::fprintf(stderr, "kestrelon-client: %s\nTry 'kestrelon-client --help'.\n", parsed.error.c_str());
    return 2;
  }
  if (parsed.options->help) {
    std::fputs(client_usage().c_str(), stdout);
    return 0;
  }
  if (parsed.options->version) {
    std::printf("kestrelon-client %s\n", KESTRELON_FILE_VERSION);
    return 0;
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::string error;
  const auto runtime = ClientRuntime::create(*parsed.options, &error);
  if (!runtime) {
    std::fprintf(stderr, "kestrelon-client: %s\n", error.c_str());
    return 2;
  }
  g_runtime = runtime.get();
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  const ClientOptions& o = *parsed.options;
  const bool named = o.address || o.address_from || o.interface_name;
  std::fprintf(stderr, "kestrelon-client: %zu Client(s) listening, first at %s%s\n", runtime->node_count(),
               runtime->addresses().front().text().c_str(),
               named ? "" : " (this machine only; --address or --interface puts it on a network)");
  const int status = runtime->run();
  g_runtime = nullptr;
  return status;
}
