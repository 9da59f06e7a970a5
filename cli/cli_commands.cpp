#include "cli_commands.h"

#include <algorithm>
#include <cstdio>

#include "error_report.h"

namespace kestrelon::cli {

namespace {
// A function-local list: files register during static initialisation, in an
// order the language leaves open.
std::vector<CommandDefinition>& definitions() {
  static std::vector<CommandDefinition> list;
  return list;
}
}  // namespace

bool register_command(CommandDefinition definition) {
  definitions().push_back(std::move(definition));
  return true;
}

std::vector<CommandDefinition> registered_commands() {
  std::vector<CommandDefinition> list = definitions();
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return list;
}

int usage_error(const std::string& command, const std::string& text) {
  report_error(command, text);
  return kExitUsage;
}

}  // namespace kestrelon::cli
