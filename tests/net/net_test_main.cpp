// main() of test programs that use real sockets on the fixed protocol ports.
#include <gtest/gtest.h>

#include "support/private_network.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  kestrelon::test::enter_private_network();
  return RUN_ALL_TESTS();
}
