// kestrelon-cli copy, run as a child process in this test's private network,
// against scripted Clients answering discovery over real UDP.
#include <gtest/gtest.h>

#include <chrono>

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
           {image, "--all", "--frobnicate"}}) {
    test::ChildProcess cli(command(args), environment());
    EXPECT_EQ(cli.wait(5s), 2) << args.back();
  }
}

}  // namespace
}  // namespace kestrelon
