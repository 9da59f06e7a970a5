#include "core_options.h"

#include "app/command_line.h"

namespace kestrelon::cli {

const char* const kCoreOptionsHelp =
    "  --loopback   also open endpoints on loopback addresses (Clients on this machine)\n"
    "  SWITCHES     the Controller's tuning switches, each followed by its value:\n"
    "               -rc N (window-full timeouts, 50)  -rt MS (acknowledgement timeout, 300)\n"
    "               -nt MS (resend delay, 11)  -gut MS (Create inactivity, 7000)\n"
    "               -mttl N (multicast time-to-live, 1); \"/\" works as prefix too\n"
    "  Settings are read from $KESTRELON_SETTINGS_DIR, else $XDG_CONFIG_HOME/kestrelon\n"
    "  or ~/.config/kestrelon (\"DisabledInterfaces\" switches interfaces off).\n";

CoreOptions make_core_options(bool loopback, const Args& switch_words) {
  CoreOptions options;
  options.addresses = host_addresses(loopback);
  CShadowCommandLineInfo info(options.tuning);
  parse_command_line(switch_words, info);
  return options;
}

}  // namespace kestrelon::cli
