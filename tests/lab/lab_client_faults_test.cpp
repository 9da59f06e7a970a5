// Faults that end or silence the Client program, seen from a Controller-side
// socket on host 0 of the lab.
#include <gtest/gtest.h>

#include <chrono>

#include "lab_network.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "platform/udp_socket.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

class LabClientFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_LAB();
    disk = dir.file("disk.img");
    ASSERT_TRUE(test::make_virtual_disk(disk, 16, "label: dos\n2048,,83\n"));
    ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 1 << 20, 1, false));
  }
  // Requests a stored upload and answers as the Controller does: the expected
  // block and a repeat of the one before it are acknowledged, anything else is
  // refused naming the expected one. The blocks seen.
  std::vector<std::uint32_t> upload(LabNetwork& net, std::chrono::milliseconds quiet) {
    UdpSocket s;
    net.run_in(0, [&] {
      s.open();
      s.bind(LabNetwork::address(0), wire::kControlPort);
    });
    s.send_to(wire::build_create_request(0, 0, 0), LabNetwork::address(1), wire::kControlPort);
    std::vector<std::uint32_t> blocks;
    std::uint32_t expected = 0;
    std::array<std::uint8_t, 2048> buf;
    s.set_nonblocking(true);
    auto last = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - last < quiet) {
      const ReceiveResult r = s.receive(buf);
      if (r.status != ReceiveResult::Status::datagram) {
        std::this_thread::sleep_for(1ms);
        continue;
      }
      last = std::chrono::steady_clock::now();
      const auto d = wire::decode_create_data(std::span(buf.data(), r.length));
      if (!d) continue;
      blocks.push_back(d->block);
      if (d->block == expected) ++expected;
      if (d->block + 1 == expected) {
        s.send_to(wire::build_create_ack(d->block), LabNetwork::address(1), wire::kControlPort);
      } else {
        s.send_to(wire::build_create_nak(expected), LabNetwork::address(1), wire::kControlPort);
      }
    }
    return blocks;
  }
  test::TempDir dir;
  std::string disk;
};

TEST_F(LabClientFaults, ExitAfterABlockEndsTheProgramWithStatus3) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  auto client = net.spawn(1, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address", LabNetwork::address(1).text(),
                              "--exit-after", "5"});
  std::this_thread::sleep_for(300ms);
  const auto blocks = upload(net, 500ms);
  ASSERT_FALSE(blocks.empty()) << client.output();
  EXPECT_EQ(blocks.back(), 5u);
  EXPECT_EQ(client.wait(2s), 3) << client.output();
  EXPECT_NE(client.output().find("--exit-after"), std::string::npos);
}

TEST_F(LabClientFaults, OnceEndsTheProgramAfterAnUpload) {
  LabNetwork net(1);
  ASSERT_TRUE(net.ok()) << net.error();
  auto client = net.spawn(1, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address", LabNetwork::address(1).text(),
                              "--once"});
  std::this_thread::sleep_for(300ms);
  const auto blocks = upload(net, 1000ms);
  ASSERT_GT(blocks.size(), 700u) << client.output();  // 1 MiB of random data, stored
  EXPECT_EQ(client.wait(2s), 0) << client.output();
}

}  // namespace
}  // namespace kestrelon
