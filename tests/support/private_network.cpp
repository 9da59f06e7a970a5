#include "support/private_network.h"

#include <sched.h>
#include <unistd.h>

#include <cstdlib>

namespace kestrelon::test {
namespace {
bool g_private = false;
}

bool enter_private_network() {
  if (::geteuid() != 0) return false;
  if (::unshare(CLONE_NEWNET) != 0) return false;
  // Quiet: `ip` is part of the test dependencies.
  const int rc = std::system(
      "ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo");
  g_private = rc == 0;
  return g_private;
}

bool loopback_multicast_works() { return g_private; }

std::string private_network_skip_reason() {
  return "SKIPPED: needs root to make a private network namespace with loopback multicast";
}

}  // namespace kestrelon::test
