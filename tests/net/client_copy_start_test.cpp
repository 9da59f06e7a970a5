// How the Client program takes OP_COPY_START: the Controller repeats it to
// targets it has not heard from, so the same request before any data is answered
// again without starting over, while a different request is a new copy.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/byte_order.h"
#include "net/wire_format.h"
#include "running_client.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/udp_peer.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 6);

class ClientCopyStart : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    ASSERT_TRUE(controller.ok());
  }
  void send_start(const std::string& name) {
    controller.send(wire::build_copy_start(wire::CopyStartFields{40'000, name, 0, 0}), kClient, wire::kControlPort);
  }
  int readies() {
    int n = 0;
    for (const auto& r : controller.receive_all(300)) {
      if (r.bytes.size() >= 8 && read_be16(r.bytes, 6) == wire::OP_COPY_READY) ++n;
    }
    return n;
  }
  bool receiving(const std::string& name) const { return std::filesystem::exists(dir.file(name + ".part")); }
  ClientOptions options() const {
    ClientOptions o;
    o.address = kClient;
    o.name = "lab-06";
    o.store_dir = dir.path();
    return o;
  }

  test::TempDir dir;
  test::UdpPeer controller{kController, wire::kControlPort};
};

TEST_F(ClientCopyStart, TheSameRequestBeforeAnyDataIsAnsweredAgain) {
  RunningClient client(options());
  ASSERT_TRUE(client.ok());
  testing::internal::CaptureStderr();
  send_start("lab.krn");
  EXPECT_EQ(readies(), 1);
  send_start("lab.krn");
  EXPECT_EQ(readies(), 1) << "the repeated request is answered";
  client.stop();
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log.find("replaces it"), std::string::npos) << "the copy was started over:\n" << log;
}

TEST_F(ClientCopyStart, ADifferentRequestStartsANewCopy) {
  RunningClient client(options());
  ASSERT_TRUE(client.ok());
  send_start("lab.krn");
  EXPECT_EQ(readies(), 1);
  EXPECT_TRUE(receiving("lab.krn"));
  send_start("other.krn");
  EXPECT_EQ(readies(), 1);
  EXPECT_FALSE(receiving("lab.krn")) << "the first copy was given up";
  EXPECT_TRUE(receiving("other.krn"));
}

}  // namespace
}  // namespace kestrelon::client
