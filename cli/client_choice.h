#pragma once
// What the commands that act on chosen Clients share: discovering until the
// wanted Clients are listed,
// checking their rows (by name or address) and choosing their disk, and showing
// network-supplied text safely on a terminal.
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "cli_commands.h"
#include "console_ui.h"

namespace CLI {
class App;
}

namespace kestrelon::cli {

// A text as it may go to a terminal: control characters from the network are
// shown as "?" so a Client's name cannot steer the terminal.
std::string printable(std::string text);

// What the commands that run transfers take besides their own options: how long
// to discover first, and loopback endpoints.
struct SessionArgs {
  static constexpr int kDefaultDiscoverSeconds = 3;
  int discover_seconds = kDefaultDiscoverSeconds;
  bool loopback = false;
};
// Adds --discover-seconds and --loopback, bound to `out`.
void add_session_options(CLI::App& command, SessionArgs& out);

// The rows of the Client `wanted`: those with its address, in any form
// Ipv4Address::parse reads, or with that name; without regard to letter case, as
// group names, when no row has the name exactly as written.
std::vector<int> rows_of(const CheckListModel& rows, const std::string& wanted);

// Discovers for at most `seconds`, ending early once every wanted Client is
// listed (with `wanted` empty it runs the whole time). Ctrl-C ends it too.
void discover_clients(ControllerCore& core, ConsoleUi& ui, const std::vector<std::string>& wanted, int seconds);

// Checks the rows of the wanted Clients (all rows with `all`); returns the
// wanted ones that were not found.
std::vector<std::string> check_clients(ControllerCore& core, bool all, const std::vector<std::string>& wanted);

// A checked Client that has no disk of the number asked for.
struct DiskLack {
  std::string name;
  Ipv4Address address;
  int disk_count = 0;
};

// Makes disk `disk` (1-based; 0 = leave each Client's choice) the selected disk
// of every checked Client, as the drive dialog stores it. Returns the checked
// Clients that have no such disk; with `uncheck`, their rows are unchecked.
std::vector<DiskLack> choose_disk(ControllerCore& core, int disk, bool uncheck);

// Reports "no Client 'X' answered in S s" for each, with the Clients that did
// answer (the rows of the list), or that Client X has no disk N; true when there
// was nothing to report.
bool report_missing(const char* command, const std::vector<std::string>& missing, const CheckListModel& rows,
                    int discover_seconds);
bool report_lacking(const char* command, int disk, const std::vector<DiskLack>& lacking);

}  // namespace kestrelon::cli
