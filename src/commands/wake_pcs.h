#pragma once
// Waking switched-off PCs with Wake-on-LAN, for `kestrelon-cli wake`, `copy
// --wake` and the window's "Wake the PCs": the PCs are found in the Client
// inventory (by name, else by the address a group stored for them), and each
// gets its magic packet on the network it was last seen on: to the broadcast
// address of the Controller's interface that heard it, sent from that interface
// (the broadcast address it had then, when that interface is gone), and to any
// further directed broadcast address the user names (a network behind a router
// that forwards them).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "platform/local_interfaces.h"

namespace kestrelon {

// A PC asked for: its name, and the address a group stored for it (padded or
// dotted; empty when none).
struct WakeWanted {
  std::string name;
  std::string address;
};

struct WakeOutcome {
  std::string name;  // as the inventory spells it, else as asked
  std::optional<MacAddress> mac;
  std::vector<Ipv4Address> sent_to;  // the broadcast addresses a packet left for
  std::string problem;               // why it could not be woken (or not everywhere)
  bool woken() const { return !sent_to.empty(); }
};

// The seams to the network, so tests see what would be sent.
struct WakeSeams {
  std::function<int(const MacAddress& mac, Ipv4Address from, Ipv4Address to)> send;
  std::function<std::optional<LocalInterface>(Ipv4Address address)> interface_with;
  static WakeSeams system();
};

// The inventory entry for a PC asked for, or -1.
int wake_entry(const std::vector<InventoryEntry>& inventory, const WakeWanted& wanted);

// Sends the packets; one outcome per PC, in order.
std::vector<WakeOutcome> wake_pcs(const std::vector<InventoryEntry>& inventory, const std::vector<WakeWanted>& pcs,
                                  const std::vector<Ipv4Address>& directed, const WakeSeams& seams);

}  // namespace kestrelon
