#pragma once
// What the commands that act on chosen Clients share: the Controller's switch
// words among the arguments, discovering until the wanted Clients are listed,
// checking their rows (by name or address) and choosing their disk, and showing
// network-supplied text safely on a terminal.
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "cli_commands.h"
#include "console_ui.h"

namespace kestrelon::cli {

// A text as it may go to a terminal: control characters from the network are
// shown as "?" so a Client's name cannot steer the terminal.
std::string printable(std::string text);

// Reads the number after args[i] into `out` when it lies in low..high, and moves
// i onto it; false when it is missing or out of range.
bool read_number(const Args& args, std::size_t& i, long low, long high, long& out);

// "-rt", "/mttl": the Controller's own switches, each followed by its value. A
// word starting with "/" is a switch only by a known name, as it is more often
// an absolute path.
bool is_tuning_switch(const std::string& word);

// What copy and create both take on their command line: how long to discover,
// loopback endpoints, and the Controller's switch words.
struct SessionArgs {
  static constexpr int kDefaultDiscoverSeconds = 3;
  int discover_seconds = kDefaultDiscoverSeconds;
  bool loopback = false;
  Args switch_words;
};
enum class Taken { no, yes, failed };
// Takes args[i] (moving i onto its value) when it is --discover-seconds,
// --loopback, a switch word or a switch's value; `failed` after a message that
// names `command`.
Taken take_session_arg(const Args& args, std::size_t& i, const char* command, SessionArgs& out);

// True when row `row` is the Client `wanted`: its name, or its address in any
// form Ipv4Address::parse reads.
bool row_is(const CheckListModel& rows, int row, const std::string& wanted);

// Discovers for at most `seconds`, ending early once every wanted Client is
// listed (with `wanted` empty it runs the whole time). Ctrl-C ends it too.
void discover_clients(ControllerCore& core, ConsoleUi& ui, const std::vector<std::string>& wanted, int seconds);

// Checks the rows of the wanted Clients (all rows with `all`). False after a
// message naming `command` when one was not found.
bool check_clients(ControllerCore& core, bool all, const std::vector<std::string>& wanted, const char* command);

// Makes disk `disk` (1-based; 0 = leave each Client's choice) the selected disk
// of every checked Client, as the drive dialog stores it. False after a message
// when a Client has no such disk.
bool choose_disk(ControllerCore& core, int disk, const char* command);

}  // namespace kestrelon::cli
