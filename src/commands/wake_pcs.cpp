#include "commands/wake_pcs.h"

#include <algorithm>
#include <cstring>

#include "net/wake_on_lan.h"

namespace kestrelon {

WakeSeams WakeSeams::system() { return {send_magic_packet, interface_with_address}; }

int wake_entry(const std::vector<InventoryEntry>& inventory, const WakeWanted& wanted) {
  if (const int i = find_entry(inventory, wanted.name); i >= 0) return i;
  const auto address = Ipv4Address::parse(wanted.address);
  if (!address) return -1;
  // A PC renamed since the group was saved: the one entry last seen at that address.
  int found = -1;
  for (std::size_t i = 0; i < inventory.size(); ++i) {
    if (inventory[i].address != *address) continue;
    if (found >= 0) return -1;
    found = static_cast<int>(i);
  }
  return found;
}

namespace {

WakeOutcome wake_one(const InventoryEntry& e, const std::vector<Ipv4Address>& directed, const WakeSeams& seams) {
  WakeOutcome out{.name = e.name, .mac = e.mac};
  if (!e.mac) {
    out.problem = "its MAC address is not known (the Controller has not listed it on a network with one)";
    return out;
  }
  // The interface that heard it, as it is now; else what it was then.
  Ipv4Address from;
  Ipv4Address broadcast = e.broadcast;
  if (const auto now = seams.interface_with(e.interface_address); now && now->up) {
    from = now->address;
    broadcast = now->broadcast;
  }
  std::vector<std::pair<Ipv4Address, Ipv4Address>> sends;  // from, to
  if (!broadcast.is_zero()) sends.emplace_back(from, broadcast);
  for (Ipv4Address d : directed)
    if (d != broadcast) sends.emplace_back(Ipv4Address(), d);
  if (sends.empty()) {
    out.problem = "no broadcast address is known for the network it was seen on";
    return out;
  }
  for (const auto& [source, to] : sends) {
    if (const int err = seams.send(*e.mac, source, to); err != 0) {
      out.problem = "sending to " + to.text() + ": " + std::strerror(err);
    } else {
      out.sent_to.push_back(to);
    }
  }
  return out;
}

}  // namespace

std::vector<WakeOutcome> wake_pcs(const std::vector<InventoryEntry>& inventory, const std::vector<WakeWanted>& pcs,
                                  const std::vector<Ipv4Address>& directed, const WakeSeams& seams) {
  std::vector<WakeOutcome> outcomes;
  for (const WakeWanted& w : pcs) {
    const int i = wake_entry(inventory, w);
    if (i < 0) {
      outcomes.push_back({.name = w.name, .problem = "not in the Client inventory (never listed by this Controller)"});
      continue;
    }
    outcomes.push_back(wake_one(inventory[static_cast<std::size_t>(i)], directed, seams));
  }
  return outcomes;
}

}  // namespace kestrelon
