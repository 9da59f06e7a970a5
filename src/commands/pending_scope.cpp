#include "commands/pending_scope.h"

#include <algorithm>

namespace kestrelon {

PendingScope::PendingScope(ControllerCore& core, const std::vector<Ipv4Address>& clients) : core_(core) {
  MacLearner& learner = core.mac_learner();
  learner.pass(true);
  std::vector<PendingPc> pcs;
  for (Ipv4Address a : clients) {
    const auto mac = learner.mac_of(a);
    if (!mac) continue;
    marked_.emplace_back(a, *mac);
    std::string name;
    for (const ListedClient& l : learner.listed())
      if (l.address == a) name = l.name;
    pcs.push_back({*mac, 0, name});
  }
  // A boot service that is not there, or cannot be told, changes nothing here.
  core.pending().mark(pcs);
}

PendingScope::~PendingScope() {
  std::vector<MacAddress> macs;
  for (const auto& [address, mac] : marked_) macs.push_back(mac);
  core_.pending().unmark(macs);
}

void PendingScope::release_done() {
  std::vector<MacAddress> done;
  {
    SemaphoreGuard hold(core_.locks().client_table);
    const ClientTables& t = core_.tables();
    for (int i = 0; i < t.target_count; ++i) {
      const ClientRecord& target = t.targets[static_cast<std::size_t>(i)];
      if (target.done == 0) continue;
      for (const auto& [address, mac] : marked_)
        if (address == target.address) done.push_back(mac);
    }
  }
  if (done.empty()) return;
  core_.pending().unmark(done);
  std::erase_if(marked_, [&](const auto& m) { return std::find(done.begin(), done.end(), m.second) != done.end(); });
}

std::vector<Ipv4Address> target_addresses(ControllerCore& core) {
  std::vector<Ipv4Address> addresses;
  SemaphoreGuard hold(core.locks().client_table);
  const ClientTables& t = core.tables();
  for (int i = 0; i < t.target_count; ++i) addresses.push_back(t.targets[static_cast<std::size_t>(i)].address);
  return addresses;
}

}  // namespace kestrelon
