#pragma once
// Finds a port this Controller needs that another program already holds. Each
// endpoint binds its address and the control port without address reuse, so a
// Client's answers and uploads reach this Controller alone; while another
// program (a Controller started earlier, kestrelon-cli, or any program of any
// user) holds the control port on one of the addresses, that endpoint cannot
// open. The test is made on the network itself, by binding each address's
// control port, so two Controllers in separate network namespaces do not see
// each other, and Clients on the same host, which bind their own addresses and
// the control group, never count.
//
// Called by start-up before any endpoint opens.
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

// The first of `addresses` whose control port is taken, or nullopt.
std::optional<Ipv4Address> address_with_port_in_use(const std::vector<Ipv4Address>& addresses);

// What start-up says about it: what is known, whoever holds the port.
std::string port_in_use_text(Ipv4Address address);

}  // namespace kestrelon
