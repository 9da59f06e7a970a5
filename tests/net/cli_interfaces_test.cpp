// kestrelon-cli interfaces, run as a child process in this test's private
// network: the endpoints it opens, and which the settings switch off.
#include <gtest/gtest.h>

#include <chrono>

#include "app/program_settings.h"
#include "cli_rig.h"
#include "support/child_process.h"
#include "support/private_network.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

class CliInterfacesTest : public test::CliRig {
 protected:
  CliInterfacesTest() : CliRig("interfaces") {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }
};

TEST_F(CliInterfacesTest, ListsTheEndpointsAndMarksTheOnesTheSettingsDisable) {
  test::ChildProcess before(command({"--loopback"}), environment());
  ASSERT_EQ(before.wait(10s), 0) << before.output();
  EXPECT_EQ(before.output(), "1 address(es), 1 endpoint(s) open\n  0  127.0.0.1\n");

  SettingsStore(temp / "settings", KESTRELON_FILE_VERSION)
      .write_setting(kSettingsSection, kSettingDisabledInterfaces, "010.000.000.005;127.000.000.001;");
  test::ChildProcess after(command({"--loopback"}), environment());
  ASSERT_EQ(after.wait(10s), 0) << after.output();
  EXPECT_EQ(after.output(), "1 address(es), 1 endpoint(s) open\n  0  127.0.0.1  disabled (DisabledInterfaces)\n");
}

}  // namespace
}  // namespace kestrelon
