// Why a Client did not finish a copy, as kestrelon-cli copy prints it and the
// transfer journal keeps it: only what is known of each Client (ready,
// receiving, the acknowledging Client or not), with reference Clients in this
// process over loopback multicast.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "cli_rig.h"
#include "running_client.h"
#include "support/child_process.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using client::ClientOptions;
using client::RunningClient;

Ipv4Address client_address(int i) { return Ipv4Address(127, 0, 5, static_cast<std::uint8_t>(i)); }

// The last "client" event of each Client, by name.
std::map<std::string, nlohmann::json> last_client_events(const std::string& output) {
  std::map<std::string, nlohmann::json> last;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (!event.is_discarded() && event.value("event", "") == "client") last[event["name"]] = event;
  }
  return last;
}

class CliCopyReasonsTest : public test::CliRig {
 protected:
  CliCopyReasonsTest() : CliRig("copy", {"--loopback", "--json"}) {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  void start_client(int i, ClientOptions o) {
    o.name = "pc-" + std::to_string(i);
    o.address = client_address(i);
    clients.push_back(std::make_unique<RunningClient>(o));
    ASSERT_TRUE(clients.back()->ok());
  }
  // The journal's last line, as history --json gives it back.
  nlohmann::json last_recorded() {
    test::ChildProcess history({KESTRELON_CLI_PATH, "history", "--last", "1", "--json"}, environment());
    EXPECT_EQ(history.wait(5s), 0);
    return nlohmann::json::parse(history.output());
  }

  std::string image = (temp / "lab.krn").string();
  std::vector<std::unique_ptr<RunningClient>> clients;
};

// Cancelled in the middle: one Client was acknowledging, the other two received
// quietly; none of them is said to have fallen silent.
TEST_F(CliCopyReasonsTest, ACancelledCopyTellsTheAcknowledgingClientFromTheQuietOnes) {
  test::write_file(image, test::image_bytes({.length = 5'000'000, .partition_count = 1, .data_sectors = {1000}}));
  for (int i = 1; i <= 3; ++i) {
    ClientOptions o;
    o.store_dir = (temp / ("store" + std::to_string(i))).string();
    o.store_sectors = 1 << 21;
    start_client(i, o);
  }
  // Names in another letter case find their Clients all the same.
  test::ChildProcess cli(command({image, "--client", "PC-1", "--client", "Pc-2", "--client", "pc-3", "--rate", "1"}),
                         environment());
  // A fifth of the way: the acknowledging Client has long been named.
  ASSERT_TRUE(cli.read_until("\"percent\":20", 20s)) << cli.output();
  cli.send_signal(SIGINT);
  ASSERT_EQ(cli.wait(20s), 1) << cli.output();

  const auto last = last_client_events(cli.output());
  ASSERT_EQ(last.size(), 3u) << cli.output();
  int acknowledging = 0;
  for (const auto& [name, event] : last) {
    const std::string reason = event.value("reason", "");
    EXPECT_EQ(event["outcome"], "failed") << name;
    EXPECT_EQ(reason.rfind("cancelled; ", 0), 0u) << reason;
    EXPECT_EQ(reason.find("silent"), std::string::npos) << reason;
    if (reason.find("; the acknowledging Client; last heard: acknowledgement of block") !=
        std::string::npos) {
      ++acknowledging;
    } else {
      EXPECT_NE(reason.find("receiving, not the acknowledging Client (such a Client answers only to ask for a "
                            "lost block); last heard: "),
                std::string::npos)
          << reason;
    }
  }
  EXPECT_EQ(acknowledging, 1) << cli.output();

  const nlohmann::json recorded = last_recorded();
  EXPECT_EQ(recorded["result"], "cancelled");
  for (const auto& target : recorded["targets"]) EXPECT_EQ(target["reason"], last.at(target["name"])["reason"]);
}

// Clients that restore onto their disks refuse an image of another Client
// program at its first block and say nothing more: the copy stops for want of
// an acknowledging Client, and each is said to have acknowledged no block.
TEST_F(CliCopyReasonsTest, ClientsThatRefuseTheImageAreNotSaidToHaveFallenSilentMidCopy) {
  test::write_file(image, test::image_bytes({.length = 200'000, .partition_count = 1, .data_sectors = {100}}));
  for (int i = 1; i <= 2; ++i) {
    const std::string disk = (temp / ("disk" + std::to_string(i) + ".img")).string();
    ASSERT_TRUE(test::make_virtual_disk(disk, 16, ""));
    ClientOptions o;
    o.disks = {disk};
    start_client(i, o);
  }
  test::ChildProcess cli(command({image, "--client", "pc-1", "--client", "pc-2", "-rt", "100", "-rc", "5"}),
                         environment());
  ASSERT_EQ(cli.wait(30s), 1) << cli.output();
  const auto last = last_client_events(cli.output());
  ASSERT_EQ(last.size(), 2u) << cli.output();
  for (const auto& [name, event] : last) {
    EXPECT_EQ(event.value("reason", "").rfind("the copy stopped: no acknowledging Client was left; ready, but it "
                                              "acknowledged no block: it refused the image, or no block reached it; "
                                              "last heard: ready, ",
                                              0),
              0u)
        << event.dump();
    EXPECT_EQ(event["last_heard"]["answer"], "ready");
  }
  EXPECT_EQ(last_recorded()["result"], "failed");
}

}  // namespace
}  // namespace kestrelon
