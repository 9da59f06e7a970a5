#include "core_options.h"

#include "app/command_line.h"

namespace kestrelon::cli {

const char* const kCoreOptionsHelp =
    "The Controller's switches, each followed by its value (\"/\" works as prefix too):\n"
    "  -rc N    window-full timeouts before another acknowledging Client (50)\n"
    "  -rt MS   acknowledgement timeout (300)\n"
    "  -nt MS   resend delay (11)\n"
    "  -gut MS  Create inactivity (7000)\n"
    "  -mttl N  multicast time-to-live (1)\n"
    "  -fast 1  Copy in fast mode: send as acknowledgements come, resend lost blocks alone (0)\n"
    "  -rate N  a Copy sends at most N MB/s (0: no cap)\n"
    "Settings are read from $KESTRELON_SETTINGS_DIR, else $XDG_CONFIG_HOME/kestrelon\n"
    "or ~/.config/kestrelon (\"DisabledInterfaces\" switches interfaces off).";

CoreOptions make_core_options(bool loopback, const Args& switch_words) {
  CoreOptions options;
  options.addresses = host_addresses(loopback);
  CShadowCommandLineInfo info(options.tuning);
  parse_command_line(switch_words, info);
  return options;
}

}  // namespace kestrelon::cli
