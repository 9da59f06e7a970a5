#pragma once
// The host's IPv4 interfaces with what Wake-on-LAN and the neighbour table need
// beyond the address: the interface's name, its network mask and its broadcast
// address.
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

struct LocalInterface {
  std::string name;  // "eth0"
  Ipv4Address address;
  Ipv4Address netmask;
  Ipv4Address broadcast;  // the network's broadcast address; zero when the interface has none
  bool up = false;
};

// Every IPv4 address of every interface, in the order the system lists them.
std::vector<LocalInterface> local_interfaces();

// The interface that carries `address`, or nullopt.
std::optional<LocalInterface> interface_with_address(Ipv4Address address);

// The broadcast address of the network `address` is in, seen through `netmask`:
// every host bit set (a directed broadcast).
Ipv4Address directed_broadcast(Ipv4Address address, Ipv4Address netmask);

}  // namespace kestrelon
