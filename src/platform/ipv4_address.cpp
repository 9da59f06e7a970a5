#include "platform/ipv4_address.h"

#include <arpa/inet.h>

#include <cstdio>

namespace kestrelon {

std::string Ipv4Address::padded_text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d.%03d.%03d.%03d", octet(0), octet(1), octet(2), octet(3));
  return buf;
}

std::string Ipv4Address::text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", octet(0), octet(1), octet(2), octet(3));
  return buf;
}

std::optional<Ipv4Address> Ipv4Address::parse(std::string_view text) {
  std::uint32_t value = 0;
  int octets = 0;
  std::size_t i = 0;
  while (octets < 4) {
    int digits = 0;
    std::uint32_t part = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
      part = part * 10 + static_cast<std::uint32_t>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || part > 255) return std::nullopt;
    value = (value << 8) | part;
    ++octets;
    if (octets < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return Ipv4Address(value);
}

std::uint32_t Ipv4Address::network_order() const { return htonl(value_); }

Ipv4Address Ipv4Address::from_network_order(std::uint32_t n) { return Ipv4Address(ntohl(n)); }

}  // namespace kestrelon
