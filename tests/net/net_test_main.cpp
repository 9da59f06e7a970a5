// main() of test programs that use real sockets on the fixed protocol ports.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/private_network.h"
#include "support/temp_folder.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Copies and Creates run here record themselves in the transfer journal: in a
  // folder of this run's own, never in the user's.
  const kestrelon::test::TempFolder state;
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  kestrelon::test::enter_private_network();
  return RUN_ALL_TESTS();
}
