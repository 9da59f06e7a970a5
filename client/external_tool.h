#pragma once
// Running a tool of the system (a file system's resizer) to its end, with no
// input and its output kept for the log. Tools are looked for in PATH and in the
// usual system folders, which a minimal start-up environment may leave out of PATH.
#include <optional>
#include <string>
#include <vector>

namespace kestrelon::client {

struct ToolRun {
  int status = -1;     // the exit status; -1 when it ended by a signal
  std::string output;  // standard output and error, the last few KiB
  bool ok() const { return status == 0; }
};

// The full path of `name`, when it is installed.
std::optional<std::string> find_tool(const std::string& name);

// Runs argv[0] (found with find_tool) with the rest as arguments. Nothing when it
// could not be started (not installed, or the start failed: `why` says).
std::optional<ToolRun> run_tool(const std::vector<std::string>& argv, std::string* why);

// The last non-empty line of a tool's output, for a one-line log.
std::string last_line(const std::string& output);

}  // namespace kestrelon::client
