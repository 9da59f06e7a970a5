// A whole copy across the lab: the Controller's copy engine and worker on host 0,
// kestrelon-client programs on hosts 1..3 keeping the file with --store, and
// nftables dropping a share of what one Client host receives.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "lab_network.h"
#include "net/wire_format.h"
#include "support/copy_side.h"
#include "support/image_files.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

class LabCopy : public ::testing::Test, protected test::CopySide {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
};

TEST_F(LabCopy, ThreeHostsOneWithLossGetTheFile) {
  constexpr int kClients = 3;
  LabNetwork net(kClients);
  ASSERT_TRUE(net.ok()) << net.error();
  ASSERT_TRUE(net.set_loss(2, 2));
  std::vector<lab::LabProcess> clients;
  for (int h = 1; h <= kClients; ++h) {
    clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(h).text(), "--store",
                                    dir.file("host" + std::to_string(h)), "--store-size", "1G", "--once"}));
    add_target(LabNetwork::address(h));
  }

  // The Controller's sockets belong to host 0.
  bool started = false;
  ASSERT_TRUE(net.run_in(0, [&] { started = start_network(LabNetwork::address(0)); }));
  ASSERT_TRUE(started);
  std::this_thread::sleep_for(300ms);  // the Clients bind their sockets

  const std::uint64_t length = 1350ull * 4000 + 99;
  test::write_pattern_file(dir.file("lab.krn"), length);
  const auto start = std::chrono::steady_clock::now();
  const bool all_done = copy(dir.file("lab.krn"), 60s);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("[ measure  ] %.1f MB to 3 lab hosts (2%% loss on one) in %lld ms: %lld acknowledgements, %lld retries\n",
              static_cast<double>(length) / 1e6, static_cast<long long>(took.count()),
              static_cast<long long>(stats.acknowledgements.load()), static_cast<long long>(stats.retries.load()));
  ASSERT_TRUE(all_done);
  const auto original = test::read_file(dir.file("lab.krn"));
  for (int h = 1; h <= kClients; ++h) {
    auto& c = clients[static_cast<std::size_t>(h - 1)];
    EXPECT_EQ(c.wait(5s), 0) << c.output();
    EXPECT_TRUE(test::read_file(dir.file("host" + std::to_string(h) + "/lab.krn")) == original) << "host " << h;
  }
}

}  // namespace
}  // namespace kestrelon
