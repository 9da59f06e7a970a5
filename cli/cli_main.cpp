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
#include "error_report.h"
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

// "copy, create, ... and interfaces": the commands of `app`, in the order added.
std::string command_list(const CLI::App& app, const char* last_joint = " and ") {
  const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
  std::string text;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == commands.size() ? last_joint : ", ") + commands[i]->get_name();
  }
  return text;
}

// The words that name commands, checked before the parser reads them, so that a
// mistyped command is named with the real ones (the parser would only say that a
// command is required). Empty when they are in order, else the message; `where`
// becomes the command it was found in ("" or "group").
std::string command_words_problem(const CLI::App& app, const Args& words, std::string& where) {
  const CLI::App* at = &app;
  where.clear();
  bool help = false;
  for (const std::string& word : words) {
    if (at->get_subcommands([](const CLI::App*) { return true; }).empty()) return {};
    if (word == "--help" || word == "-h" || word == "--version") help = true;
    if (word.starts_with("-")) continue;
    const auto named = at->get_subcommands([&word](const CLI::App* c) { return c->get_name() == word; });
    if (named.empty()) {
      return "'" + word + "' is not a command" + (where.empty() ? "" : " of " + where) + "; the commands are " +
             command_list(*at);
    }
    at = named.front();
    where += (where.empty() ? "" : " ") + word;
  }
  // A command whose own commands are optional (clients, clients protect) runs alone too.
  if (help || at == &app || at->get_subcommands([](const CLI::App*) { return true; }).empty() ||
      at->get_require_subcommand_min() == 0)
    return {};
  return "a command is needed: " + command_list(*at, " or ");
}

bool holds_json_switch(const Args& words) {
  return std::find(words.begin(), words.end(), std::string("--json")) != words.end();
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
  set_json_errors(holds_json_switch(split.for_parser));
  std::string where;
  if (const std::string problem = command_words_problem(app, split.for_parser, where); !problem.empty()) {
    return usage_error(where, problem);
  }
  std::vector<std::string> reversed(split.for_parser.rbegin(), split.for_parser.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // One line: what is wrong, and where the command's options are described.
    const std::string name = command_name(app);
    const std::string full = "kestrelon-cli" + (name.empty() ? "" : " " + name);
    return usage_error(name, std::string(e.what()) + " (see '" + full + " --help')");
  }
  const auto parsed = app.get_subcommands();
  const Chosen& chosen = commands.at(parsed.front());
  if (chosen.switches == SwitchWords::refused && !split.switch_words.empty()) {
    return usage_error(command_name(app),
                       "takes none of the Controller's switches ('" + split.switch_words.front() + "')");
  }
  return chosen.run(split.switch_words);
}
