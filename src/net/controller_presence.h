#pragma once
// Finds a Controller that already serves this host's addresses. Two Controllers
// on one network stack both bind the control port with address reuse, and the
// Clients' unicast answers then reach only one of them: the other's list empties.
// The test is made on the network itself, by binding the control port of each
// address without address reuse, which fails while any socket holds it. So two
// Controllers in separate network namespaces do not see each other, and Clients
// on the same host, which bind their own addresses and the control group, never
// count as a Controller.
//
// Called by start-up before any endpoint opens.
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

// The first of `addresses` whose control port is taken, or nullopt.
std::optional<Ipv4Address> address_served_by_another_controller(const std::vector<Ipv4Address>& addresses);

// What a front end without windows says about it.
std::string another_controller_text(Ipv4Address address);

}  // namespace kestrelon
