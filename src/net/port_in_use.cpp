#include "net/port_in_use.h"

#include <cerrno>

#include "net/wire_format.h"
#include "platform/udp_socket.h"

namespace kestrelon {

std::optional<Ipv4Address> address_with_port_in_use(const std::vector<Ipv4Address>& addresses) {
  for (const Ipv4Address address : addresses) {
    UdpSocket probe;
    if (probe.open() != 0) continue;  // opening the endpoint reports it
    if (probe.bind(address, wire::kControlPort) == EADDRINUSE) return address;
  }
  return std::nullopt;
}

std::string port_in_use_text(Ipv4Address address) {
  return "Port " + std::to_string(wire::kControlPort) + " on " + address.text() +
         " is in use: another program (another Controller, or a program of any user on this computer) holds "
         "it, and the Clients' answers there would not reach this Controller. End that program and start "
         "again.";
}

}  // namespace kestrelon
