// The safety rails of an unattended copy, through kestrelon-cli against scripted
// Clients: a protected Client is left out unless included, a dry run checks
// everything and sends nothing, and what the inventory cannot wake says why.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli_rig.h"
#include "support/child_process.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

test::AnnounceSpec client(int n, const std::string& name) {
  test::AnnounceSpec s;
  s.address = Ipv4Address(127, 0, 4, static_cast<std::uint8_t>(n));
  s.name = name;
  s.disks.push_back(test::make_disk(1 << 20, 1));
  return s;
}

class CliRoomTest : public test::CliRig {
 protected:
  CliRoomTest() : CliRig("copy") {}
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    test::write_file(image, test::image_bytes({.length = 9000, .partition_count = 1, .data_sectors = {1000}}));
  }
  // Another verb of kestrelon-cli; its exit code.
  int run(std::vector<std::string> args, std::string& out) {
    args.insert(args.begin(), KESTRELON_CLI_PATH);
    test::ChildProcess p(args, environment());
    const auto code = p.wait(30s);
    out = p.output();
    return code.value_or(-1);
  }

  std::string image = (temp / "lab.krn").string();
  test::ScriptedAnnouncer clients{Ipv4Address(127, 0, 0, 1), {client(1, "MASTER"), client(2, "PC-02")}};
};

TEST_F(CliRoomTest, AProtectedClientIsLeftOutAndADryRunSendsNothing) {
  std::string out;
  ASSERT_EQ(run({"discover", "--seconds", "2", "--loopback"}, out), 0) << out;
  ASSERT_EQ(run({"clients", "protect", "master"}, out), 0) << out;
  ASSERT_EQ(run({"clients", "--json"}, out), 0) << out;
  const auto inventory = nlohmann::json::parse(out, nullptr, false);
  ASSERT_TRUE(inventory.is_object()) << out;
  ASSERT_EQ(inventory["clients"].size(), 2u) << out;
  for (const auto& c : inventory["clients"]) EXPECT_EQ(c["protected"], c["name"] == "MASTER") << out;

  test::ChildProcess dry(command({image, "--all", "--loopback", "--discover-seconds", "2", "--dry-run"}),
                         environment());
  EXPECT_EQ(dry.wait(30s), 0) << dry.output();
  EXPECT_NE(dry.output().find("would leave out MASTER: protected"), std::string::npos) << dry.output();
  EXPECT_NE(dry.output().find(" bytes) to 1 client(s):\n  PC-02  127.0.4.2  disk 1 (512Mb)"), std::string::npos)
      << dry.output();
  EXPECT_FALSE(std::filesystem::exists(journal())) << "a dry run runs no transfer";

  // Only the protected Client asked for: nothing is copied, and the journal says why.
  test::ChildProcess copy(command({image, "--client", "MASTER", "--loopback", "--discover-seconds", "2"}),
                          environment());
  EXPECT_EQ(copy.wait(30s), 1) << copy.output();
  EXPECT_NE(copy.output().find("MASTER (127.0.4.1): skipped: protected"), std::string::npos) << copy.output();
  ASSERT_EQ(run({"history", "--last", "1"}, out), 0);
  EXPECT_NE(out.find("MASTER (127.0.4.1): skipped: protected"), std::string::npos) << out;

  // Clients on loopback have no network card to wake.
  EXPECT_EQ(run({"wake", "--client", "PC-02"}, out), 1);
  EXPECT_NE(out.find("PC-02: not woken: its MAC address is not known"), std::string::npos) << out;
  test::ChildProcess bad(command({image, "--all", "--wake", "--loopback"}), environment());
  EXPECT_EQ(bad.wait(10s), 2) << "--wake needs the targets named";
}

}  // namespace
}  // namespace kestrelon
