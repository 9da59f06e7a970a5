#pragma once
// The subcommands of kestrelon-cli. Each subcommand's own file registers it at
// program start with register_command(): its name, the line the command list
// shows, whether it takes the Controller's switch words ("-rt 300"), and a
// function that adds its options to its CLI11 app and returns what runs it once
// the command line has been read. cli_main.cpp knows none of them by name.
//
//   const bool registered = register_command({"info", "show what an image file holds",
//                                             SwitchWords::refused, define_info});
#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace kestrelon::cli {

using Args = std::vector<std::string>;

// Exit codes every subcommand uses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the work was tried and did not succeed
inline constexpr int kExitUsage = 2;   // bad arguments or input: nothing was done

// Runs the command with the Controller's switch words that were given (empty
// for a command that refuses them) and returns the exit code.
using CommandRun = std::function<int(const Args& switch_words)>;

enum class SwitchWords { taken, refused };

struct CommandDefinition {
  std::string name;
  std::string summary;
  SwitchWords switches = SwitchWords::refused;
  // Adds the command's options (bound to state the returned run keeps alive).
  std::function<CommandRun(CLI::App& command)> define;
};

// Returns true, so a file can register at namespace scope.
bool register_command(CommandDefinition definition);
// Every registered command, sorted by name.
std::vector<CommandDefinition> registered_commands();

// Prints "kestrelon-cli COMMAND: TEXT" on standard error and returns kExitUsage.
int usage_error(const std::string& command, const std::string& text);

}  // namespace kestrelon::cli
