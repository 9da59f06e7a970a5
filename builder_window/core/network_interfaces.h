#pragma once
// The network interfaces the builder can serve on: those that are up, not
// loopback, and have at least one IPv4 address, with each address's prefix
// length, so an isolated network's address range can be checked against them.
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon::builder_window {

struct InterfaceAddress {
  Ipv4Address address;
  int prefix_length = 32;

  Ipv4Address netmask() const;
  Ipv4Address network() const;    // the first address of the network
  Ipv4Address broadcast() const;  // the last
  bool contains(Ipv4Address a) const;
  std::string text() const;  // "192.168.50.1/24"
};

struct NetworkInterface {
  std::string name;
  std::vector<InterfaceAddress> addresses;

  // What the interface chooser shows: "eth0  192.168.50.1/24".
  std::string label() const;
};

// This machine's interfaces that can serve, sorted by name.
std::vector<NetworkInterface> serving_interfaces();

// The interface named `name` in `interfaces`; nullptr when it is not there.
const NetworkInterface* find_interface(const std::vector<NetworkInterface>& interfaces, const std::string& name);

}  // namespace kestrelon::builder_window
