#include "platform/neighbour_table.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrelon {

namespace {

constexpr unsigned kCompleteFlag = 0x2;  // ATF_COM

}  // namespace

std::vector<NeighbourEntry> parse_neighbour_table(std::string_view text) {
  std::vector<NeighbourEntry> entries;
  std::istringstream lines{std::string(text)};
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string ip, type, flags, hw, mask, device;
    if (!(fields >> ip >> type >> flags >> hw >> mask >> device)) continue;
    const auto address = Ipv4Address::parse(ip);
    const auto mac = MacAddress::parse(hw);
    char* end = nullptr;
    const unsigned long flag_bits = std::strtoul(flags.c_str(), &end, 16);
    if (!address || !mac || end == flags.c_str() || *end != '\0') continue;
    if (!(flag_bits & kCompleteFlag) || mac->is_zero()) continue;
    entries.push_back({*address, *mac, device});
  }
  return entries;
}

std::vector<NeighbourEntry> read_neighbour_table() {
  std::ifstream in("/proc/net/arp");
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return parse_neighbour_table(text.str());
}

std::optional<MacAddress> find_neighbour(const std::vector<NeighbourEntry>& entries, Ipv4Address address,
                                         const std::string& device) {
  std::optional<MacAddress> found;
  for (const NeighbourEntry& e : entries) {
    if (e.address != address) continue;
    if (!device.empty()) {
      if (e.device == device) return e.mac;
      continue;
    }
    // The same address on two networks names two machines: neither is the one.
    if (found && *found != e.mac) return std::nullopt;
    found = e.mac;
  }
  return found;
}

}  // namespace kestrelon
