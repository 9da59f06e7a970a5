#pragma once
// The address range an isolated imaging network hands out, checked against the
// interface it is served on before dnsmasq is started: both ends IPv4 addresses
// of one of the interface's networks, in order, neither the network's own first
// or last address, and the interface's own address outside the range (dnsmasq
// would otherwise lend this computer's address to a PC).
#include <optional>
#include <string>
#include <string_view>

#include "core/network_interfaces.h"

namespace kestrelon::builder_window {

struct DhcpRange {
  Ipv4Address first;
  Ipv4Address last;

  std::string argument() const;  // "192.168.50.100,192.168.50.199"
};

struct DhcpRangeCheck {
  std::optional<DhcpRange> range;  // set when the range is sound
  std::string problem;             // otherwise: what is wrong, in a sentence
};

DhcpRangeCheck check_dhcp_range(std::string_view first, std::string_view last, const NetworkInterface& on);

// A range to propose for an interface: the upper half of its first network's
// host addresses, or the lower half when its own address lies in the upper one;
// nothing for a network too small to share.
std::optional<DhcpRange> suggest_dhcp_range(const NetworkInterface& on);

}  // namespace kestrelon::builder_window
