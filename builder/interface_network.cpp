#include "interface_network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>

#include "builder_error.h"

namespace kestrelon::builder {
namespace {

std::uint32_t mask_of(int prefix) { return prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix); }

}  // namespace

Ipv4Address InterfaceNetwork::network() const { return Ipv4Address(address.value() & mask_of(prefix)); }

bool InterfaceNetwork::contains(Ipv4Address a) const {
  return (a.value() & mask_of(prefix)) == network().value();
}

std::string InterfaceNetwork::text() const { return address.text() + "/" + std::to_string(prefix); }

InterfaceNetwork interface_network(const std::string& name) {
  if (::if_nametoindex(name.c_str()) == 0) {
    throw BuilderError("there is no network interface named " + name + " ('ip -brief address' lists them)");
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) throw BuilderError("cannot list the network interfaces");
  std::optional<InterfaceNetwork> found;
  for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || name != a->ifa_name || !a->ifa_netmask) continue;
    const auto* addr = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    const auto* mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask);
    found = InterfaceNetwork{Ipv4Address(ntohl(addr->sin_addr.s_addr)),
                             std::popcount(static_cast<std::uint32_t>(mask->sin_addr.s_addr))};
  }
  ::freeifaddrs(list);
  if (!found) {
    throw BuilderError("the interface " + name + " has no IPv4 address: give it one (for an isolated network, "
                       "e.g. 'ip address add 10.0.0.1/24 dev " + name + "') or name another with --interface");
  }
  return *found;
}

}  // namespace kestrelon::builder
