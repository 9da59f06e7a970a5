#pragma once
// Test processes that bind the protocol's fixed ports run in a private network
// namespace of their own: only loopback, up, with multicast routed over it.
#include <string>

namespace kestrelon::test {

// Enters a fresh network namespace when running as root; returns whether it did.
bool enter_private_network();

// True when multicast sent on loopback comes back to a local receiver here.
bool loopback_multicast_works();

// The reason to print when a test skips for lack of the above.
std::string private_network_skip_reason();

}  // namespace kestrelon::test

// Skips the current test, visibly, when the process is not in a private network.
#define KESTRELON_REQUIRE_PRIVATE_NETWORK()                                        \
  do {                                                                              \
    if (!::kestrelon::test::loopback_multicast_works())                              \
      GTEST_SKIP() << ::kestrelon::test::private_network_skip_reason();              \
  } while (0)
