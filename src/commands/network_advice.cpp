#include "commands/network_advice.h"

#include <algorithm>
#include <string_view>

namespace kestrelon {

namespace {

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

constexpr const char* kStartAgain = "then start Kestrelon again.";

}  // namespace

std::string network_setup_advice(const std::string& message) {
  // No address to open an endpoint on. Loopback addresses count when nothing else
  // is up, so not even the loopback interface is up.
  if (message.rfind("Invalid or missing TCP/IP configuration", 0) == 0) {
    return std::string("No network interface of this computer is up with an IPv4 address, not even the loopback "
                       "interface, so no Client can be reached.\n"
                       "Connect this computer to the Clients' network (a cable, or Wi-Fi) and make sure it has an "
                       "IPv4 address, ") +
           kStartAgain +
           " For Clients on this computer only, bring the loopback interface up (ip link set lo up) and start "
           "Kestrelon with --loopback.";
  }
  // An interface without a multicast route: typically loopback alone, with no
  // network connected.
  if (contains(message, "IP_ADD_MEMBERSHIP")) {
    return std::string("An interface could not join the Clients' multicast group: it has no route for multicast. "
                       "With no network connected only the loopback interface is up, and it carries multicast "
                       "only when set up for it (ip link set lo multicast on; ip route add 224.0.0.0/4 dev lo).\n"
                       "Connect this computer to the Clients' network, ") +
           kStartAgain;
  }
  if (contains(message, "bind(98)")) {
    return std::string("UDP port 4747 of an address of this computer is taken by another program (another "
                       "Controller, or kestrelon-cli). End it, ") +
           kStartAgain;
  }
  return {};
}

std::string network_note(const std::vector<Ipv4Address>& endpoint_addresses, bool loopback_asked) {
  if (endpoint_addresses.empty()) {
    return std::string("No network: no interface could be opened, so no Client can be found. Connect a network, ") +
           kStartAgain;
  }
  const bool only_loopback = std::all_of(endpoint_addresses.begin(), endpoint_addresses.end(),
                                         [](Ipv4Address a) { return a.is_loopback(); });
  if (loopback_asked || !only_loopback) return {};
  return std::string("No network: only loopback is up, so Clients on other computers cannot be found. Connect a "
                     "network, ") +
         kStartAgain;
}

}  // namespace kestrelon
