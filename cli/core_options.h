#pragma once
// How the commands that run the Controller core set it up: the host's addresses
// (loopback ones too with --loopback, for Clients on the same machine), and the
// tuning values from the Controller's own switches ("-rt 200", "/mttl 4", ...),
// read exactly as the desktop program reads its command line.
#include "app/controller_core.h"
#include "cli_commands.h"

namespace kestrelon::cli {

CoreOptions make_core_options(bool loopback, const Args& switch_words);

// What --help says of the switches and the settings, for the commands that run the core.
extern const char* const kCoreOptionsHelp;

}  // namespace kestrelon::cli
