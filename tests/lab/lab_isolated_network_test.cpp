// An isolated imaging network: the Controller's host has an address on its
// wire and nothing else, no default route and no route for multicast, as on a
// network where the client builder hands out the addresses itself. The
// Controller must still open its endpoint, find a Client and copy to it.
#include <gtest/gtest.h>

#include <chrono>

#include "lab_controller.h"
#include "lab_network.h"
#include "support/image_files.h"
#include "support/recording_ui.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

TEST(LabIsolatedNetwork, ControllerWithoutAnyRouteBeyondItsSubnetDiscoversAndCopies) {
  KESTRELON_REQUIRE_LAB();
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  ASSERT_EQ(net.exec(0, "ip route del 224.0.0.0/4 dev eth0"), 0);
  ASSERT_EQ(net.exec(0, "! ip route show | grep -qv '^10.47.0.0/16 '"), 0) << "host 0 still has another route";

  test::TempDir dir;
  lab::LabProcess client = net.spawn(1, {KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(1).text(), "--name",
                                         "isolated-1", "--store", dir.file("store"), "--store-size", "64M"});
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());
  EXPECT_TRUE(controller.ui().messages().empty())
      << "the endpoint did not open: " << (controller.ui().messages().empty() ? "" : controller.ui().messages()[0]);
  ASSERT_TRUE(controller.discover({"isolated-1"}, 15s)) << client.output();

  const std::string image = dir.file("isolated.krn");
  test::ImageSpec shape;
  shape.length = 1350ull * 700 + 17;
  shape.partition_count = 1;
  shape.full_sectors = {4096};
  shape.data_sectors = {2048};
  test::write_file(image, test::image_bytes(shape));
  const CopyFlowResult r = controller.copy(image, {"isolated-1"});
  std::string said;
  for (const std::string& m : controller.ui().messages()) said += m + "\n";
  ASSERT_TRUE(r.succeeded()) << "ran " << r.transfer_ran << ", " << r.not_done << " of " << r.targets
                             << " not done; the Controller said:\n"
                             << said << "the Client said:\n"
                             << client.output();
  EXPECT_TRUE(test::read_file(dir.file("store/isolated.krn")) == test::read_file(image));
}

}  // namespace
}  // namespace kestrelon
