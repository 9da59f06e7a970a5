#include "net/controller_presence.h"

#include <cerrno>

#include "net/wire_format.h"
#include "platform/udp_socket.h"

namespace kestrelon {

std::optional<Ipv4Address> address_served_by_another_controller(const std::vector<Ipv4Address>& addresses) {
  for (const Ipv4Address address : addresses) {
    UdpSocket probe;
    if (probe.open() != 0) continue;  // opening the endpoint reports it
    // No address reuse: the bind fails while any socket holds the port there.
    if (probe.bind(address, wire::kControlPort) == EADDRINUSE) return address;
  }
  return std::nullopt;
}

std::string another_controller_text(Ipv4Address address) {
  return "Another Controller is already running on " + address.text() + ": port " +
         std::to_string(wire::kControlPort) + " there is in use. Only one Controller can serve an address.";
}

}  // namespace kestrelon
