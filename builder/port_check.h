#pragma once
// Whether another server already answers DHCP (67), TFTP (69) or the PXE boot
// service (4011) on serve's interface. dnsmasq would start beside another
// dnsmasq all the same (both set SO_REUSEADDR) and PCs would get two answers,
// so serve asks the system (ss) who holds the port instead of trying a bind.
#include <string>

#include "interface_network.h"

namespace kestrelon::builder {

// Throws a BuilderError naming the port and the program that holds it, when a
// socket bound to any address, to `interface` or to its address holds `port`.
void check_port_free(int port, const char* what, const std::string& interface, const InterfaceNetwork& network);

}  // namespace kestrelon::builder
