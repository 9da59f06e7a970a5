// One Controller per network: a second one, whether the core in this process or
// kestrelon-cli beside it, finds the control port taken, says so and does not
// start, while the first keeps its Clients. Reference Clients on the same host
// never hold it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/controller_core.h"
#include "net/port_in_use.h"
#include "running_client.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kLoopback(127, 0, 0, 1);

class TwoControllers : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  CoreOptions options(const std::string& name) const {
    CoreOptions o;
    o.addresses = [] { return AddressList{0, {kLoopback}}; };
    o.settings_folder = temp / (name + "-settings");
    o.profile_file = temp / (name + ".ini");
    o.shutdown_wait = 300ms;
    return o;
  }
  static bool wait_for_rows(ControllerCore& core, int rows) {
    for (int i = 0; i < 300; ++i) {
      core.idle_pass();
      if (core.main_client_list().row_count() == rows) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  test::TempFolder temp;
  test::RecordingUi first_ui;
  test::ScriptedAnnouncer clients{kLoopback, {test::announcing_client(Ipv4Address(127, 0, 3, 1), "pc1", 1)}};
};

TEST_F(TwoControllers, TheSecondCoreSaysWhichAddressIsServedAndDoesNotStart) {
  ControllerCore first(first_ui, options("first"));
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(wait_for_rows(first, 1));

  test::RecordingUi second_ui;
  ControllerCore second(second_ui, options("second"));
  EXPECT_EQ(second.address_in_use(), kLoopback);
  EXPECT_FALSE(second.start());
  EXPECT_EQ(second_ui.messages(), std::vector<std::string>{port_in_use_text(kLoopback)});
  EXPECT_EQ(second.endpoints().open_count(), 0) << "no endpoint was opened beside the first Controller's";

  // The first still hears its Client's answers.
  first.registry().discover(true);
  EXPECT_TRUE(wait_for_rows(first, 1));
  EXPECT_TRUE(first_ui.messages().empty());
  first.shutdown();
  EXPECT_EQ(second.address_in_use(), std::nullopt) << "the address is free once the first has ended";
}

TEST_F(TwoControllers, ReferenceClientsOnTheSameHostAreNoController) {
  client::ClientOptions o;
  o.address = Ipv4Address(127, 0, 0, 6);
  o.name = "beside";
  client::RunningClient beside(o);
  ASSERT_TRUE(beside.ok());
  ControllerCore core(first_ui, options("core"));
  EXPECT_EQ(core.address_in_use(), std::nullopt);
  ASSERT_TRUE(core.start());
  EXPECT_TRUE(wait_for_rows(core, 2)) << "the scripted Client and the reference Client";
}

TEST_F(TwoControllers, TheCommandLineBesideARunningControllerNamesTheAddressAndFails) {
  ControllerCore first(first_ui, options("first"));
  ASSERT_TRUE(first.start());
  ASSERT_TRUE(wait_for_rows(first, 1));
  // Standard error joined to the output the test reads.
  test::ChildProcess cli({"/bin/sh", "-c", "exec \"$0\" discover --seconds 3 --loopback 2>&1", KESTRELON_CLI_PATH},
                         {"KESTRELON_SETTINGS_DIR=" + (temp / "cli-settings").string(),
                          "KESTRELON_PROFILE=" + (temp / "cli.ini").string()});
  const auto status = cli.wait(10s);
  ASSERT_TRUE(status.has_value()) << cli.output();
  EXPECT_NE(*status, 0);
  EXPECT_NE(cli.output().find("Port 4747 on 127.0.0.1 is in use"), std::string::npos)
      << cli.output();
  EXPECT_TRUE(wait_for_rows(first, 1));
}

}  // namespace
}  // namespace kestrelon
