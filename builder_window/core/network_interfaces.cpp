#include "core/network_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <bit>

namespace kestrelon::builder_window {

Ipv4Address InterfaceAddress::netmask() const {
  const int bits = std::clamp(prefix_length, 0, 32);
  return Ipv4Address(bits == 0 ? 0u : ~std::uint32_t{0} << (32 - bits));
}

Ipv4Address InterfaceAddress::network() const { return Ipv4Address(address.value() & netmask().value()); }

Ipv4Address InterfaceAddress::broadcast() const { return Ipv4Address(address.value() | ~netmask().value()); }

bool InterfaceAddress::contains(Ipv4Address a) const {
  return (a.value() & netmask().value()) == network().value();
}

std::string InterfaceAddress::text() const { return address.text() + "/" + std::to_string(prefix_length); }

std::string NetworkInterface::label() const {
  std::string label = name;
  for (std::size_t i = 0; i < addresses.size(); ++i) label += (i == 0 ? "  " : ", ") + addresses[i].text();
  return label;
}

std::vector<NetworkInterface> serving_interfaces() {
  std::vector<NetworkInterface> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name) continue;
    if (!(i->ifa_flags & IFF_UP) || (i->ifa_flags & IFF_LOOPBACK)) continue;
    InterfaceAddress entry;
    entry.address = Ipv4Address::from_network_order(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    if (i->ifa_netmask) {
      const auto mask = reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr;
      entry.prefix_length = std::popcount(Ipv4Address::from_network_order(mask).value());
    }
    auto known = std::find_if(found.begin(), found.end(), [&](const auto& f) { return f.name == i->ifa_name; });
    if (known == found.end()) known = found.insert(found.end(), NetworkInterface{i->ifa_name, {}});
    known->addresses.push_back(entry);
  }
  ::freeifaddrs(list);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return found;
}

const NetworkInterface* find_interface(const std::vector<NetworkInterface>& interfaces, const std::string& name) {
  const auto it = std::find_if(interfaces.begin(), interfaces.end(), [&](const auto& i) { return i.name == name; });
  return it == interfaces.end() ? nullptr : &*it;
}

}  // namespace kestrelon::builder_window
