#include "net/mac_learner.h"

#include "net/wire_format.h"
#include "platform/local_interfaces.h"

namespace kestrelon {

MacLearner::MacLearner(ClientTables& tables, Semaphore& client_table_lock, EndpointTable& endpoints,
                       const Clock& clock, NeighbourSource neighbours)
    : tables_(tables), lock_(client_table_lock), endpoints_(endpoints), clock_(clock),
      neighbours_(std::move(neighbours)) {}

bool MacLearner::pass(bool at_once, std::optional<std::chrono::milliseconds> lock_wait) {
  const Tick now = clock_.now();
  if (passed_ && !at_once && !tick_reached(now, next_pass_)) return false;
  passed_ = true;
  next_pass_ = now + kPassPeriodMs;

  struct Seen {
    std::string name;
    Ipv4Address address;
    int interface_index;
  };
  std::vector<Seen> copies;
  if (lock_wait) {
    if (!lock_.try_acquire_for(*lock_wait)) return false;
  } else {
    lock_.acquire();
  }
  for (int i = 0; i < tables_.client_count; ++i) {
    const ClientRecord& c = tables_.clients[static_cast<std::size_t>(i)];
    copies.push_back({c.name_text(), c.address, c.interface_index});
  }
  lock_.release();
  const std::vector<NeighbourEntry> table = neighbours_ ? neighbours_() : std::vector<NeighbourEntry>{};
  std::map<int, Interface> interfaces;
  listed_.clear();
  for (const Seen& c : copies) {
    auto known = interfaces.find(c.interface_index);
    if (known == interfaces.end()) known = interfaces.emplace(c.interface_index, interface_of(c.interface_index)).first;
    ListedClient l{.name = c.name,
                   .address = c.address,
                   .interface_address = endpoints_.address(c.interface_index),
                   .broadcast = known->second.broadcast};
    const auto key = std::make_pair(c.address, l.name);
    if (const auto mac = find_neighbour(table, c.address, known->second.device)) {
      learned_[key] = *mac;
    }
    if (const auto it = learned_.find(key); it != learned_.end()) {
      l.mac = it->second;
    } else if (!c.address.is_loopback()) {
      nudge(c.address, c.interface_index, now);
    }
    listed_.push_back(std::move(l));
  }
  return true;
}

std::optional<MacAddress> MacLearner::mac_of(Ipv4Address address) const {
  for (const ListedClient& l : listed_)
    if (l.address == address) return l.mac;
  return std::nullopt;
}

MacLearner::Interface MacLearner::interface_of(int endpoint_index) {
  const auto local = interface_with_address(endpoints_.address(endpoint_index));
  if (!local) return {};
  return {local->name, local->broadcast};
}

void MacLearner::nudge(Ipv4Address address, int interface_index, Tick now) {
  const auto last = nudged_.find(address);
  if (last != nudged_.end() && !tick_reached(now, last->second + kNudgePeriodMs)) return;
  nudged_[address] = now;
  // The endpoint writes its own address into the request, as for the group.
  endpoints_.send(interface_index, wire::build_discover(Ipv4Address()), address, wire::kControlPort);
}

}  // namespace kestrelon
