#include "core/dhcp_range.h"

#include "core/builder_texts.h"
#include "core/trimmed.h"

namespace kestrelon::builder_window {
namespace {

// The network of `on` that holds `a`, if any.
const InterfaceAddress* network_of(const NetworkInterface& on, Ipv4Address a) {
  for (const auto& address : on.addresses)
    if (address.contains(a)) return &address;
  return nullptr;
}

std::string networks_text(const NetworkInterface& on) {
  std::string text;
  for (const auto& address : on.addresses) text += (text.empty() ? "" : ", ") + address.text();
  return text;
}

}  // namespace

std::string DhcpRange::argument() const { return first.text() + "," + last.text(); }

DhcpRangeCheck check_dhcp_range(std::string_view first_text, std::string_view last_text, const NetworkInterface& on) {
  DhcpRangeCheck check;
  const std::string ends[2] = {trimmed(first_text), trimmed(last_text)};
  const char* names[2] = {text::kRangeFirstName, text::kRangeLastName};
  Ipv4Address parsed[2];
  for (int i = 0; i < 2; ++i) {
    if (ends[i].empty()) {
      check.problem = format(text::kRangeEmpty, names[i]);
      return check;
    }
    // Only the dotted form: "10.0.0.010" reads differently in other programs.
    const auto address = Ipv4Address::parse(ends[i]);
    if (!address || address->text() != ends[i]) {
      check.problem = format(text::kRangeNotAnAddress, names[i], ends[i]);
      return check;
    }
    parsed[i] = *address;
  }
  for (int i = 0; i < 2; ++i) {
    const InterfaceAddress* network = network_of(on, parsed[i]);
    if (network == nullptr) {
      check.problem = format(text::kRangeOutsideNetworks, ends[i], on.name, networks_text(on));
      return check;
    }
    if (network->prefix_length <= 30 && (parsed[i] == network->network() || parsed[i] == network->broadcast())) {
      check.problem = format(text::kRangeNetworkEdge, ends[i], network->text());
      return check;
    }
  }
  if (network_of(on, parsed[0]) != network_of(on, parsed[1])) {
    check.problem = format(text::kRangeTwoNetworks, ends[0], ends[1]);
    return check;
  }
  if (parsed[1] < parsed[0]) {
    check.problem = format(text::kRangeReversed, ends[1], ends[0]);
    return check;
  }
  for (const auto& own : on.addresses) {
    if (parsed[0] <= own.address && own.address <= parsed[1]) {
      check.problem = format(text::kRangeHoldsOwnAddress, own.address.text(), on.name);
      return check;
    }
  }
  check.range = DhcpRange{parsed[0], parsed[1]};
  return check;
}

std::optional<DhcpRange> suggest_dhcp_range(const NetworkInterface& on) {
  if (on.addresses.empty() || on.addresses.front().prefix_length > 29) return std::nullopt;
  const InterfaceAddress& net = on.addresses.front();
  const std::uint32_t low = net.network().value() + 1;
  const std::uint32_t high = net.broadcast().value() - 1;
  const std::uint32_t middle = low + (high - low + 1) / 2;
  const std::uint32_t own = net.address.value();
  if (own >= middle && own <= high) return DhcpRange{Ipv4Address(low), Ipv4Address(middle - 1)};
  return DhcpRange{Ipv4Address(middle), Ipv4Address(high)};
}

}  // namespace kestrelon::builder_window
