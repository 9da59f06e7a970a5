// kestrelon-cli: the Controller without windows, for scripts, cron and tests.
// The subcommands register themselves (cli_commands.h); this file reads the
// command line with CLI11 and runs the one that was named.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "cli_commands.h"
#include "switch_words.h"

namespace {

using kestrelon::cli::Args;

struct Chosen {
  kestrelon::cli::CommandRun run;
  kestrelon::cli::SwitchWords switches;
};

std::string command_name(const CLI::App& app) {
  const auto parsed = app.get_subcommands();
  return parsed.empty() ? std::string() : parsed.front()->get_name();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrelon::cli;
  CLI::App app{"The Controller of the Kestrelon disk-imaging system, without windows: for scripts, cron and tests.",
               "kestrelon-cli"};
  app.set_version_flag("--version", std::string("kestrelon-cli ") + KESTRELON_FILE_VERSION);
  app.require_subcommand(1);
  app.footer("'kestrelon-cli COMMAND --help' describes a command's options.");
  std::map<const CLI::App*, Chosen> commands;
  for (const CommandDefinition& d : registered_commands()) {
    CLI::App* command = app.add_subcommand(d.name, d.summary);
    commands[command] = Chosen{d.define(*command), d.switches};
  }
  if (argc < 2) {
    std::cout << app.help();
    return kExitUsage;
  }

  const SplitArguments split = split_switch_words(Args(argv + 1, argv + argc), app);
  std::vector<std::string> reversed(split.for_parser.rbegin(), split.for_parser.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const std::string name = command_name(app);
    std::fprintf(stderr, "kestrelon-cli%s%s: %s\nRun 'kestrelon-cli%s%s --help' for more information.\n",
                 name.empty() ? "" : " ", name.c_str(), e.what(), name.empty() ? "" : " ", name.c_str());
    return kExitUsage;
  }
  const auto parsed = app.get_subcommands();
  const Chosen& chosen = commands.at(parsed.front());
  if (chosen.switches == SwitchWords::refused && !split.switch_words.empty()) {
    return usage_error(command_name(app),
                       "takes none of the Controller's switches ('" + split.switch_words.front() + "')");
  }
  return chosen.run(split.switch_words);
}
