#include "platform/local_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace kestrelon {

namespace {

Ipv4Address address_of(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_INET) return Ipv4Address();
  return Ipv4Address::from_network_order(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

}  // namespace

std::vector<LocalInterface> local_interfaces() {
  std::vector<LocalInterface> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    LocalInterface e;
    e.name = i->ifa_name ? i->ifa_name : "";
    e.address = address_of(i->ifa_addr);
    e.netmask = address_of(i->ifa_netmask);
    if (i->ifa_flags & IFF_BROADCAST) {
      // An address added without "brd" has no broadcast address of its own (the
      // system then reports the address itself): every host bit set is the one.
      e.broadcast = address_of(i->ifa_broadaddr);
      const bool host_route = e.netmask.value() == 0xFFFFFFFFu;
      if ((e.broadcast.is_zero() || e.broadcast == e.address) && !host_route)
        e.broadcast = directed_broadcast(e.address, e.netmask);
      if (host_route) e.broadcast = Ipv4Address();
    }
    e.up = (i->ifa_flags & IFF_UP) != 0;
    found.push_back(e);
  }
  ::freeifaddrs(list);
  return found;
}

std::optional<LocalInterface> interface_with_address(Ipv4Address address) {
  for (const LocalInterface& i : local_interfaces())
    if (i.address == address) return i;
  return std::nullopt;
}

Ipv4Address directed_broadcast(Ipv4Address address, Ipv4Address netmask) {
  return Ipv4Address(address.value() | ~netmask.value());
}

}  // namespace kestrelon
