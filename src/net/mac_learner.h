#pragma once
// Learns the MAC address of each listed Client from the kernel's neighbour table:
// the entry for the Client's address on the interface its announces arrive by.
// The Client's unicast announce usually leaves that entry behind (its ARP request
// for the Controller's address). When there is none, the Controller asks the
// Client again by unicast (an ordinary OP_DISCOVER sent to its address instead of
// the group), which makes the kernel resolve the address, at most once per
// Client every 30 s. Nothing on the wire changes.
//
// Runs on the user-interface thread from the idle pass, at most once a second;
// it copies what it needs from the client table under the client table lock and
// reads the neighbour table outside it.
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/client_record.h"
#include "net/endpoint_table.h"
#include "platform/clock.h"
#include "platform/mac_address.h"
#include "platform/neighbour_table.h"
#include "platform/semaphore.h"

namespace kestrelon {

// A listed Client as the Controller sees it now.
struct ListedClient {
  std::string name;
  Ipv4Address address;
  std::optional<MacAddress> mac;  // not known (yet): no neighbour entry, or a loopback Client
  Ipv4Address interface_address;  // the Controller's own address it is heard on
  Ipv4Address broadcast;          // that interface's broadcast address; zero when it has none
};

using NeighbourSource = std::function<std::vector<NeighbourEntry>()>;

class MacLearner {
 public:
  static constexpr Tick kPassPeriodMs = 1000;
  static constexpr Tick kNudgePeriodMs = 30000;

  MacLearner(ClientTables& tables, Semaphore& client_table_lock, EndpointTable& endpoints, const Clock& clock,
             NeighbourSource neighbours = read_neighbour_table);

  // Looks at the listed Clients when a second has passed since the last look
  // (or at once with `now`); true when it did (listed() is fresh). With
  // `lock_wait`, a client table lock held longer than that is not waited for
  // (shutdown must end) and nothing is looked at.
  bool pass(bool now = false, std::optional<std::chrono::milliseconds> lock_wait = std::nullopt);

  // The Clients listed at the last pass, in client table order.
  const std::vector<ListedClient>& listed() const { return listed_; }
  // The MAC address of the listed Client at `address`, when known.
  std::optional<MacAddress> mac_of(Ipv4Address address) const;

 private:
  struct Interface {
    std::string device;
    Ipv4Address broadcast;
  };
  Interface interface_of(int endpoint_index);
  void nudge(Ipv4Address address, int interface_index, Tick now);

  ClientTables& tables_;
  Semaphore& lock_;
  EndpointTable& endpoints_;
  const Clock& clock_;
  NeighbourSource neighbours_;
  std::vector<ListedClient> listed_;
  // What was learned for a Client (address and name: a new PC may take an
  // address over) survives a pass in which its neighbour entry is gone.
  std::map<std::pair<Ipv4Address, std::string>, MacAddress> learned_;
  std::map<Ipv4Address, Tick> nudged_;
  Tick next_pass_ = 0;
  bool passed_ = false;
};

}  // namespace kestrelon
