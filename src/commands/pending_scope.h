#pragma once
// The Clients of a running Copy or Create, marked pending for the boot service
// for as long as it runs: a Client that restarts meanwhile boots into the Client
// again, every other PC its own disk. A Copy target whose copy has ended whole
// loses its mark at once (release_done, from the 500 ms supervision), so that
// when it restarts it boots the system it has just received; the rest lose
// theirs when the scope ends. Clients whose MAC address is not known cannot be
// marked and are left as they are.
#include <vector>

#include "app/controller_core.h"

namespace kestrelon {

class PendingScope {
 public:
  // Marks the Clients listed at these addresses.
  PendingScope(ControllerCore& core, const std::vector<Ipv4Address>& clients);
  ~PendingScope();
  PendingScope(const PendingScope&) = delete;
  PendingScope& operator=(const PendingScope&) = delete;

  // The targets of the target table that have reported their copy done lose their marks.
  void release_done();

 private:
  ControllerCore& core_;
  std::vector<std::pair<Ipv4Address, MacAddress>> marked_;
};

// The addresses of the target table's Clients.
std::vector<Ipv4Address> target_addresses(ControllerCore& core);

}  // namespace kestrelon
