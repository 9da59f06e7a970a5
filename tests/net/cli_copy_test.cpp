// kestrelon-cli copy, run as a child process in this test's private network,
// against scripted Clients answering discovery over real UDP.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include <signal.h>

#include "app/program_settings.h"
#include "cli_rig.h"
#include "support/child_process.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kLoopback(127, 0, 0, 1);

test::AnnounceSpec client(int n, const std::string& name, std::uint32_t disk_sectors) {
  test::AnnounceSpec s;
  s.address = Ipv4Address(127, 0, 3, static_cast<std::uint8_t>(n));
  s.name = name;
  s.disks.push_back(test::make_disk(disk_sectors, 1));
  return s;
}

class CliCopyTest : public test::CliRig {
 protected:
  CliCopyTest() : CliRig("copy") {}
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    test::write_file(image, test::image_bytes({.length = 9000, .partition_count = 1, .data_sectors = {1000}}));
  }

  std::string image = (temp / "lab.krn").string();
  test::ScriptedAnnouncer clients{kLoopback, {client(1, "small", 999), client(2, "large", 1 << 20)}};
};

TEST_F(CliCopyTest, ClientsWithoutEnoughSpaceAreListedAndNothingIsCopied) {
  test::ChildProcess cli(command({image, "--all", "--loopback", "--discover-seconds", "1"}), environment());
  ASSERT_EQ(cli.wait(15s), 1) << cli.output();
  EXPECT_NE(cli.output().find("List Of Clients With Insufficient Disk Space:\n  small "), std::string::npos)
      << cli.output();
  EXPECT_EQ(cli.output().find("large"), std::string::npos) << cli.output();
}

TEST_F(CliCopyTest, TheStoredKeepPartitionSizeMakesTheFullSizesCount) {
  // 1000 sectors of data in a partition of 2000: "large" holds either, "medium" only the data.
  test::write_file(image, test::image_bytes({.length = 9000,
                                             .partition_count = 1,
                                             .full_sectors = {2000},
                                             .data_sectors = {1000}}));
  clients.set_clients({client(2, "large", 1 << 20), client(3, "medium", 1500)});
  SettingsStore(temp / "settings", KESTRELON_FILE_VERSION).write_setting(kSettingsSection, kSettingKeepPartitionSize, "1");
  test::ChildProcess cli(command({image, "--all", "--loopback", "--discover-seconds", "1"}), environment());
  ASSERT_EQ(cli.wait(15s), 1) << cli.output();
  EXPECT_NE(cli.output().find("List Of Clients With Insufficient Disk Space:\n  medium "), std::string::npos)
      << cli.output();
  EXPECT_EQ(cli.output().find("large"), std::string::npos) << cli.output();
}

TEST_F(CliCopyTest, AClientThatWasNotDiscoveredStopsTheCopy) {
  test::ChildProcess cli(command({image, "--client", "large", "--client", "nobody", "--loopback",
                                  "--discover-seconds", "1"}),
                         environment());
  EXPECT_EQ(cli.wait(15s), 1) << cli.output();
  EXPECT_EQ(cli.output(), "");
}

TEST_F(CliCopyTest, ADiskTheClientDoesNotHaveStopsTheCopy) {
  test::ChildProcess cli(command({image, "--client", "127.0.3.2", "--disk", "2", "--loopback"}), environment());
  EXPECT_EQ(cli.wait(15s), 1) << cli.output();
}

TEST_F(CliCopyTest, BadArgumentsAreRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {image},                                     // no Client chosen
           {image, "--all", "--client", "large"},       // both
           {"--all"},                                   // no image
           {image, "--all", "--disk", "5"},             // no such disk number
           {image, "--all", "--discover-seconds", "x"},
           {image, "--all", "--rate", "0"},             // a cap of nothing
           {image, "--all", "--frobnicate"}}) {
    test::ChildProcess cli(command(args), environment());
    EXPECT_EQ(cli.wait(5s), 2) << args.back();
  }
}

TEST_F(CliCopyTest, MistakesInSwitchesOrTheImageAreRefusedBeforeAnyDiscovery) {
  const std::string short_image = (temp / "short.krn").string();
  test::write_file(short_image, std::vector<std::uint8_t>(7000, 1));
  for (const auto& args : std::vector<std::vector<std::string>>{
           {image, "--all", "-mttl", "abc"},
           {image, "--all", "-rt", "-5"},
           {image, "--all", "-rt"},
           {image, "--all", "/gut", "9e3"},
           {image, "--all", "--after", "5x"},
           {image, "--all", "--after", "0s"},
           {image, "--all", "--at", "24:00"},
           {(temp / "missing.krn").string(), "--all"},
           {temp.path().string(), "--all"},
           {short_image, "--all"}}) {
    // A discovery would take 600 s: a refusal well before that did not wait for one.
    std::vector<std::string> with_long_discovery = args;
    with_long_discovery.insert(with_long_discovery.begin() + 1, {"--discover-seconds", "600"});
    const auto started = std::chrono::steady_clock::now();
    test::ChildProcess cli(command(with_long_discovery), environment());
    EXPECT_EQ(cli.wait(300s), 2) << args[0] << " " << args.back();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 300s) << "no waiting for the discovery";
  }
  EXPECT_EQ(clients.discovers_heard(), 0) << "no discovery request was sent";
}

TEST_F(CliCopyTest, SkipUnreadyNamesEveryClientLeftOutAndRecordsTheCopy) {
  // "small" has too little room, "nobody" is not there, and "large" never
  // answers the start request (scripted Clients only announce).
  test::ChildProcess cli(command({image, "--client", "small", "--client", "large", "--client", "nobody",
                                  "--skip-unready", "--ready-seconds", "1", "--json", "--loopback"}),
                         environment());
  ASSERT_EQ(cli.wait(30s), 1) << cli.output() << "nothing was copied";
  std::map<std::string, nlohmann::json> last;
  nlohmann::json summary;
  std::istringstream lines(cli.output());
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json event = nlohmann::json::parse(line);  // standard output holds JSON only
    if (event["event"] == "client") last[event["name"]] = event;
    if (event["event"] == "summary") summary = event;
  }
  EXPECT_EQ(last["nobody"]["outcome"], "skipped");
  EXPECT_EQ(last["nobody"]["reason"], "offline: not discovered");
  EXPECT_EQ(last["small"]["outcome"], "skipped");
  EXPECT_EQ(last["small"]["address"], "127.0.3.1");
  EXPECT_EQ(last["small"]["reason"], "disk too small: the image needs 0.5 MB, disk 1 has 0.5 MB")
      << "999 sectors are not the 1000 the image needs";
  EXPECT_EQ(last["large"]["outcome"], "failed");
  EXPECT_EQ(last["large"]["reason"], "no answer to the start request; nothing heard from it");
  EXPECT_EQ(summary["result"], "failed");
  ASSERT_EQ(summary["targets"].size(), 3u);

  std::ifstream recorded(journal());
  std::string line;
  ASSERT_TRUE(std::getline(recorded, line)) << "the copy is recorded";
  EXPECT_EQ(nlohmann::json::parse(line)["targets"], summary["targets"]);
  EXPECT_FALSE(std::getline(recorded, line)) << "in one line";
}

// A scheduled copy makes the Copy's checks at once: a disk too small is reported
// now, not an hour later; with every check passed it waits, and Ctrl-C then ends
// it without a copy start.
TEST_F(CliCopyTest, AScheduledCopyChecksAtOnceAndCtrlCBeforeTheStartSendsNothing) {
  const auto started = std::chrono::steady_clock::now();
  test::ChildProcess refused(command({image, "--all", "--loopback", "--discover-seconds", "1", "--after", "1h"}),
                             environment());
  ASSERT_EQ(refused.wait(300s), 1) << refused.output();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 240s) << "refused now, not an hour later";
  EXPECT_NE(refused.output().find("List Of Clients With Insufficient Disk Space:\n  small "), std::string::npos)
      << refused.output();

  test::ChildProcess waiting(command({image, "--client", "large", "--loopback", "--discover-seconds", "1", "--at",
                                      "--json", "--after", "1h"}),
                             environment());
  ASSERT_EQ(waiting.wait(15s), 2) << "--at takes a time, not the next option";
  test::ChildProcess scheduled(command({image, "--client", "large", "--loopback", "--json", "--after", "1h"}),
                               environment());
  // Discovery ends once "large" is listed; the countdown then says when it starts.
  ASSERT_TRUE(scheduled.read_until("the copy starts at", 15s)) << scheduled.output();
  scheduled.send_signal(SIGINT);
  EXPECT_EQ(scheduled.wait(10s), 1) << scheduled.output();
  EXPECT_NE(scheduled.output().find("cancelled before the start; nothing was sent"), std::string::npos)
      << scheduled.output();
  EXPECT_EQ(scheduled.output().find("start sent"), std::string::npos) << scheduled.output();
  EXPECT_FALSE(std::ifstream(journal()).good()) << "no copy was recorded";
}

}  // namespace
}  // namespace kestrelon
