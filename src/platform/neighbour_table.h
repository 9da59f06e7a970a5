#pragma once
// The kernel's neighbour (ARP) table: which hardware address answers for which
// IPv4 address on which interface. The Controller reads it to learn the MAC
// address of each Client it lists; nothing on the wire changes for that.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ipv4_address.h"
#include "platform/mac_address.h"

namespace kestrelon {

struct NeighbourEntry {
  Ipv4Address address;
  MacAddress mac;
  std::string device;  // "eth0"
};

// The complete entries of a table in the form of /proc/net/arp (a heading line,
// then "IP HW-type Flags HW-address Mask Device" per entry). Entries still
// waiting for an answer (flags without 0x2, or an all-zero address) and lines
// that do not read are left out.
std::vector<NeighbourEntry> parse_neighbour_table(std::string_view text);

// The system's table now; empty when it cannot be read.
std::vector<NeighbourEntry> read_neighbour_table();

// The hardware address of `address` on `device` in `entries`, or, when `device`
// is empty, on any device that has exactly one answer for it.
std::optional<MacAddress> find_neighbour(const std::vector<NeighbourEntry>& entries, Ipv4Address address,
                                         const std::string& device);

}  // namespace kestrelon
