// kestrelon-cli: the Controller without windows, for scripts, cron and tests.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_commands.h"

namespace {

struct CommandEntry {
  const char* name;
  const char* summary;
  int (*run)(const kestrelon::cli::Args&);
};

const CommandEntry kCommands[] = {
    {"interfaces", "open an endpoint on every local address and list them", kestrelon::cli::run_interfaces},
    {"discover", "discover the Clients and list them (--seconds 0: until Ctrl-C)", kestrelon::cli::run_discover},
    {"copy", "multicast an image file to the chosen Clients", kestrelon::cli::run_copy},
    {"create", "have one Client upload a disk into an image file", kestrelon::cli::run_create},
};

void print_usage() {
  std::printf("usage: kestrelon-cli COMMAND [OPTIONS]\n\ncommands:\n");
  for (const auto& c : kCommands) std::printf("  %-12s %s\n", c.name, c.summary);
  std::printf("\n'kestrelon-cli COMMAND --help' describes a command's options.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    print_usage();
    return argc < 2 ? 2 : 0;
  }
  const std::string name = argv[1];
  for (const auto& c : kCommands) {
    if (name == c.name) return c.run(kestrelon::cli::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "kestrelon-cli: unknown command '%s'\n\n", name.c_str());
  print_usage();
  return 2;
}
