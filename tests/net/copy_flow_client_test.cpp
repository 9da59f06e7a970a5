// The Copy flow of the core with reference Clients running in this process on
// loopback: the stored images equal the source, also when a Client repeats its
// ready answer, receives datagrams twice and loses some of its answers.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "running_client.h"
#include "scripted_copy_port.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
Ipv4Address client_address(int i) { return Ipv4Address(127, 0, 0, static_cast<std::uint8_t>(80 + i)); }

class CopyFlowClientTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }
  CoreOptions options() {
    CoreOptions o;
    o.addresses = [] { return AddressList{0, {kController}}; };
    o.settings_folder = temp / "settings";
    o.profile_file = temp / "kestreln.ini";
    o.shutdown_wait = 300ms;
    return o;
  }
  client::ClientOptions client_options(int i) {
    client::ClientOptions o;
    o.address = client_address(i);
    o.name = "REF-" + std::to_string(i);
    o.store_dir = (temp / ("store" + std::to_string(i))).string();
    return o;
  }

  test::TempFolder temp;
  test::RecordingUi ui;
  ControllerCore core{ui, options()};
  test::ScriptedCopyPort port{ui};
  CopyFlow flow{core, port};
};

TEST_F(CopyFlowClientTest, ReferenceClientsStoreTheImageByteForByteDespiteRepeatsAndLoss) {
  client::ClientOptions plain = client_options(0);
  client::ClientOptions faulty = client_options(1);
  faulty.faults.extra_ready = 3;       // OP_COPY_READY again after the engine started
  faulty.faults.duplicate_in = 5;      // blocks handled twice
  faulty.faults.drop_out = 2;          // acknowledgements and requests lost
  faulty.faults.seed = 7;
  client::RunningClient a(plain);
  client::RunningClient b(faulty);
  ASSERT_TRUE(a.ok() && b.ok());

  const std::string image = (temp / "lab.krn").string();
  test::write_file(image, test::image_bytes({.length = 1350 * 1200, .partition_count = 0}));
  ASSERT_TRUE(core.start());
  for (int i = 0; i < 300 && core.main_client_list().row_count() < 2; ++i) {
    core.idle_pass();
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(core.main_client_list().row_count(), 2);
  core.main_client_list().rows().check_all();

  port.wait_limit = 60s;
  const CopyFlowResult result = flow.run(image, CopyOptions{});
  EXPECT_TRUE(result.succeeded()) << result.not_done << " not done";
  EXPECT_TRUE(port.failed.empty());
  const auto source = test::read_file(image);
  EXPECT_EQ(test::read_file((temp / "store0" / "lab.krn").string()), source);
  EXPECT_EQ(test::read_file((temp / "store1" / "lab.krn").string()), source);
  EXPECT_GE(result.blocks_sent, 1200u);
  EXPECT_EQ(core.copy_engine().ready_count(), 2) << "the repeated answers were not counted";
}

}  // namespace
}  // namespace kestrelon
