// kestrelon-cli discover, run as a child process in this test's private network,
// against a scripted set of Clients answering over real UDP.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "cli_rig.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kLoopback(127, 0, 0, 1);

test::AnnounceSpec client(int n, const std::string& name, int disks) {
  return test::announcing_client(Ipv4Address(127, 0, 2, static_cast<std::uint8_t>(n)), name, disks, 4 << 20);
}

class CliDiscoverTest : public test::CliRig {
 protected:
  CliDiscoverTest() : CliRig("discover") {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  test::ScriptedAnnouncer clients{kLoopback, {client(1, "pc2", 1), client(2, "PC10", 3), client(3, "Alpha", 0)}};
};

// How the JSON form shows each drive of these Clients: 2048 Mb with one boot
// partition of 1 Mb.
std::string drives_json(int count) {
  std::string drives;
  for (int d = 1; d <= count; ++d) {
    drives += std::string(d > 1 ? "," : "") + "{\"drive\":" + std::to_string(d) +
              ",\"bios\":128,\"sectors\":4194304,\"mb\":2048,\"partitions\":["
              "{\"number\":1,\"type\":131,\"type_name\":\"Linux\",\"boot\":true,\"kind\":\"primary\","
              "\"sectors\":2048,\"mb\":1}]}";
  }
  return "\"drives\":[" + drives + "]";
}

TEST_F(CliDiscoverTest, ListsTheClientsAsJsonInListOrder) {
  test::ChildProcess cli(command({"--seconds", "2", "--json", "--loopback"}), environment());
  ASSERT_TRUE(cli.started());
  ASSERT_EQ(cli.wait(10s), 0) << cli.output();
  EXPECT_EQ(cli.output(),
            "{\"clients\":["
            "{\"name\":\"Alpha\",\"address\":\"127.0.2.3\",\"disks\":0,\"target\":\"Disk 1 (0Mb)\","
            "\"checked\":false," + drives_json(0) + "},"
            "{\"name\":\"PC10\",\"address\":\"127.0.2.2\",\"disks\":3,\"target\":\"Disk 1 (2048Mb)\","
            "\"checked\":false," + drives_json(3) + "},"
            "{\"name\":\"pc2\",\"address\":\"127.0.2.1\",\"disks\":1,\"target\":\"Disk 1 (2048Mb)\","
            "\"checked\":false," + drives_json(1) + "}]}\n");
  EXPECT_GE(clients.discovers_heard(), 2);  // the first request and one a second later
}

TEST_F(CliDiscoverTest, JsonNamesEachPartitionsTypeKindAndSizeSoAScriptCanChooseADisk) {
  test::AnnounceSpec typed = client(5, "typed", 0);
  DiskEntry second = test::make_disk(8 << 20, 3, 1 << 20);
  second.bios_number = 0x81;
  second.partitions[0].type = 0x07;
  second.partitions[1].type = 0x05;
  second.partitions[1].logical = 1;
  second.partitions[2].number = 0x0C;
  second.partitions[2].type = 0x00;
  second.partitions[2].logical = 1;
  typed.disks = {test::make_disk(2 << 20, 0), second};
  clients.set_clients({typed});
  test::ChildProcess cli(command({"--seconds", "1", "--json", "--loopback"}), environment());
  ASSERT_EQ(cli.wait(10s), 0) << cli.output();
  EXPECT_EQ(cli.output(),
            "{\"clients\":[{\"name\":\"typed\",\"address\":\"127.0.2.5\",\"disks\":2,"
            "\"target\":\"Disk 1 (1024Mb)\",\"checked\":false,\"drives\":["
            "{\"drive\":1,\"bios\":128,\"sectors\":2097152,\"mb\":1024,\"partitions\":[]},"
            "{\"drive\":2,\"bios\":129,\"sectors\":8388608,\"mb\":4096,\"partitions\":["
            "{\"number\":1,\"type\":7,\"type_name\":\"NTFS\",\"boot\":true,\"kind\":\"primary\","
            "\"sectors\":1048576,\"mb\":512},"
            "{\"number\":2,\"type\":5,\"type_name\":\"Extended\",\"boot\":false,\"kind\":\"logical\","
            "\"sectors\":1048576,\"mb\":512},"
            "{\"number\":12,\"type\":0,\"type_name\":\"Unknown\",\"boot\":false,\"kind\":\"logical\","
            "\"sectors\":1048576,\"mb\":512}]}]}]}\n");
}

TEST_F(CliDiscoverTest, ListsTheClientsAsATable) {
  test::ChildProcess cli(command({"--seconds", "1", "--loopback", "-mttl", "2"}), environment());
  ASSERT_EQ(cli.wait(10s), 0) << cli.output();
  EXPECT_EQ(cli.output(),
            "Name   IP Address       Disk(s)  Target\n"
            "Alpha  127.000.002.003  0        Disk 1 (0Mb)\n"
            "PC10   127.000.002.002  3        Disk 1 (2048Mb)\n"
            "pc2    127.000.002.001  1        Disk 1 (2048Mb)\n");
}

TEST_F(CliDiscoverTest, WatchModeListsChangesUntilInterrupted) {
  clients.set_clients({client(1, "first", 1)});
  test::ChildProcess cli(command({"--seconds", "0", "--loopback"}), environment());
  ASSERT_TRUE(cli.read_until("first", 5s)) << cli.output();
  clients.set_clients({client(1, "first", 1), client(4, "second", 2)});
  ASSERT_TRUE(cli.read_until("2 client(s)", 5s)) << cli.output();
  EXPECT_NE(cli.output().find("second  127.000.002.004  2        Disk 1 (2048Mb)"), std::string::npos)
      << cli.output();
  cli.send_signal(SIGINT);
  EXPECT_EQ(cli.wait(8s), 0) << "a clean shutdown ends with exit code 0";
}

TEST_F(CliDiscoverTest, DisabledInterfaceSendsNoRequest) {
  test::ChildProcess setup({"/bin/sh", "-c",
                            "mkdir -p \"$KESTRELON_SETTINGS_DIR\" && printf '[Kestrelon\\\\%s\\\\Settings]\\n"
                            "DisabledInterfaces=127.000.000.001;\\n' \"$1\" > \"$KESTRELON_SETTINGS_DIR/settings.ini\"",
                            "sh", KESTRELON_FILE_VERSION},
                           environment());
  ASSERT_EQ(setup.wait(5s), 0);
  test::ChildProcess cli(command({"--seconds", "1", "--json", "--loopback"}), environment());
  ASSERT_EQ(cli.wait(10s), 0);
  EXPECT_EQ(cli.output(), "{\"clients\":[]}\n");
  EXPECT_EQ(clients.discovers_heard(), 0);
}

TEST_F(CliDiscoverTest, BadOptionsGiveAClearErrorAndExitCode2) {
  test::ChildProcess bad_seconds(command({"--seconds", "soon"}), environment());
  EXPECT_EQ(bad_seconds.wait(5s), 2);
  test::ChildProcess unknown(command({"--colour"}), environment());
  EXPECT_EQ(unknown.wait(5s), 2);
  test::ChildProcess help(command({"--help"}), environment());
  EXPECT_EQ(help.wait(5s), 0);
  EXPECT_NE(help.output().find("--seconds N"), std::string::npos);
}

}  // namespace
}  // namespace kestrelon
