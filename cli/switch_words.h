#pragma once
// The Controller's own switches ("-rt 300", "/mttl 4") among kestrelon-cli's
// arguments. They keep the desktop program's spelling (one dash, several letters),
// which an option parser would read as a bundle of one-letter options, so they are
// taken out before CLI11 reads the rest, and handed to the Controller's own parser.
#include <string>

#include "cli_commands.h"

namespace CLI {
class App;
}

namespace kestrelon::cli {

struct SplitArguments {
  Args for_parser;    // everything else, in order
  Args switch_words;  // each switch followed by the word after it, its value
};

// A switch is "-NAME" or "/NAME" with NAME one of the Controller's switch names.
// The word after an option of `app` (or of the subcommand named before it) that
// takes a value is that option's value, never a switch: "--out /rt" names a file.
SplitArguments split_switch_words(const Args& args, const CLI::App& app);

// "-rt", "/mttl": one of the Controller's switch names behind "-" or "/".
bool is_switch_word(const std::string& word);

}  // namespace kestrelon::cli
