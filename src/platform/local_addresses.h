#pragma once
// The IPv4 addresses of this host. Resolving the host name, as a Windows program
// would, yields only a loopback address on most Linux systems, so the addresses
// are read from the interfaces instead.
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

enum class LoopbackAddresses {
  only_when_alone,  // loopback addresses are used only when the host has no other
  include,          // loopback addresses are always used (tests on one machine)
};

// Addresses of the interfaces that are up, in the order the system lists them,
// without duplicates.
std::vector<Ipv4Address> local_ipv4_addresses(LoopbackAddresses loopback);

// The IPv4 addresses of the interface named `name` ("eth0"), whether it is up or
// not, in the order the system lists them; empty when there is no such interface
// or it has none.
std::vector<Ipv4Address> interface_ipv4_addresses(const std::string& name);

}  // namespace kestrelon
