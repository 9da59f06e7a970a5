#include "platform/local_addresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace kestrelon {

std::vector<Ipv4Address> local_ipv4_addresses(LoopbackAddresses loopback) {
  std::vector<Ipv4Address> others;
  std::vector<Ipv4Address> loopbacks;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return others;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if (!(i->ifa_flags & IFF_UP)) continue;
    const auto* sa = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    const Ipv4Address a = Ipv4Address::from_network_order(sa->sin_addr.s_addr);
    auto& target = (i->ifa_flags & IFF_LOOPBACK) || a.is_loopback() ? loopbacks : others;
    if (std::find(target.begin(), target.end(), a) == target.end()) target.push_back(a);
  }
  ::freeifaddrs(list);
  if (loopback == LoopbackAddresses::include) {
    others.insert(others.end(), loopbacks.begin(), loopbacks.end());
    return others;
  }
  return others.empty() ? loopbacks : others;
}

std::vector<Ipv4Address> interface_ipv4_addresses(const std::string& name) {
  std::vector<Ipv4Address> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name || name != i->ifa_name) continue;
    const auto* sa = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
    const Ipv4Address a = Ipv4Address::from_network_order(sa->sin_addr.s_addr);
    if (std::find(found.begin(), found.end(), a) == found.end()) found.push_back(a);
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace kestrelon
