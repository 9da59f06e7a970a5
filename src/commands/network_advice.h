#pragma once
// What a user is told when the program starts without a usable network: below a
// message that the network could not be set up, what is missing and what to do
// about it; and a note for the window while no interface, or only loopback,
// could be opened. The messages themselves stay as they are.
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

// The paragraph below `message`; empty for a message that is not about the
// network's set-up.
std::string network_setup_advice(const std::string& message);

// A note after a start that opened no endpoint, or endpoints on loopback
// addresses only without --loopback (`loopback_asked`); empty otherwise.
std::string network_note(const std::vector<Ipv4Address>& endpoint_addresses, bool loopback_asked);

}  // namespace kestrelon
