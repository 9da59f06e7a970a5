#pragma once
// The IPv4 network of an interface, which serve's DHCP configuration is made of.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ipv4_address.h"

namespace kestrelon::builder {

struct InterfaceNetwork {
  Ipv4Address address;
  int prefix = 0;  // 24 for 255.255.255.0

  Ipv4Address network() const;
  bool contains(Ipv4Address a) const;
  std::string text() const;  // "10.48.0.1/24"
};

// The interface's first IPv4 address; a BuilderError when there is no such
// interface or it has no IPv4 address.
InterfaceNetwork interface_network(const std::string& name);

}  // namespace kestrelon::builder
