// The safety rails of an unattended copy, through kestrelon-cli against scripted
// Clients: a protected Client is left out unless included, a dry run checks
// everything and sends nothing, and what the inventory cannot wake says why.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

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

// The overnight case, tried first as a dry run with every PC switched off: the
// group and the Client inventory say whom it would wake and who gets the image;
// every other member is named once, with why it would be left out.
class CliRoomOffTest : public test::CliRig {
 protected:
  CliRoomOffTest() : CliRig("copy") {}
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    test::write_file(image, test::image_bytes({.length = 9000, .partition_count = 1, .full_sectors = {8192},
                                               .data_sectors = {8192}}));
    std::ofstream((temp / "kestreln.ini").string()) << (
                     "[Room]\n0=MASTER,010.009.000.001,1,0,100000\n1=PC-02,010.009.000.002,1,0,100000\n"
                     "2=SMALL,010.009.000.003,1,0,1\n3=STRANGER,010.009.000.004,1,0,100000\n"
                     "4=PC-05,010.009.000.005,2,1,100000\n");
    const auto entry = [](const std::string& name, int n, bool with_mac, bool is_protected) {
      return nlohmann::json{{"name", name},
                            {"address", "10.9.0." + std::to_string(n)},
                            {"mac", with_mac ? nlohmann::json("52:54:00:4b:09:0" + std::to_string(n)) : nlohmann::json()},
                            {"interface", "10.9.0.254"},
                            {"broadcast", "10.9.255.255"},
                            {"protected", is_protected}};
    };
    std::filesystem::create_directories(temp / "state" / "kestrelon");
    std::ofstream((temp / "state" / "kestrelon" / "clients.json").string())
        << nlohmann::json{{"clients",
                           {entry("MASTER", 1, true, true), entry("PC-02", 2, true, false),
                            entry("SMALL", 3, true, false), entry("PC-05", 5, true, false)}}}
               .dump();
  }
  std::string image = (temp / "room.krn").string();
};

TEST_F(CliRoomOffTest, ADryRunWithEveryPcOffNamesEachMemberOnce) {
  test::ChildProcess dry(command({image, "--group", "Room", "--wake", "--min-clients", "3", "--max-wait", "900",
                                  "--dry-run", "--loopback", "--discover-seconds", "1"}),
                         environment());
  EXPECT_EQ(dry.wait(60s), 0) << dry.output();
  const std::string out = dry.output();
  EXPECT_NE(out.find("would wait up to 900 s for 2 of the 2 PC(s) that can receive the image (0 on now)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  PC-02  disk 1 (100000Mb)  would wake it (52:54:00:4b:09:02, to 10.9.255.255)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  PC-05  disk 2 (100000Mb)  would wake it (52:54:00:4b:09:05"), std::string::npos) << out;
  EXPECT_NE(out.find("would leave out MASTER: protected"), std::string::npos) << out;
  EXPECT_NE(out.find("would leave out SMALL: disk too small: the image needs 4.2 MB, disk 1 has 2.1 MB"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("would leave out STRANGER: offline, and it cannot be woken: not in the Client inventory"),
            std::string::npos)
      << out;
  for (const char* name : {"MASTER", "PC-02", "SMALL", "STRANGER", "PC-05"}) {
    const std::size_t first = out.find(name);
    ASSERT_NE(first, std::string::npos) << name << " is not named\n" << out;
    EXPECT_EQ(out.find(name, first + 1), std::string::npos) << name << " is named twice\n" << out;
  }
  EXPECT_FALSE(std::filesystem::exists(journal())) << "a dry run runs no transfer";

  // The same for a script.
  test::ChildProcess json(command({image, "--group", "Room", "--wake", "--dry-run", "--loopback", "--json",
                                   "--discover-seconds", "1"}),
                          environment());
  EXPECT_EQ(json.wait(60s), 0) << json.output();
  nlohmann::json plan;
  std::istringstream lines(json.output());
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == "dry_run") plan = event;
  }
  ASSERT_TRUE(plan.is_object()) << json.output();
  EXPECT_EQ(plan["wait_seconds"], 300);
  EXPECT_EQ(plan["targets"].size(), 2u) << plan.dump();
  EXPECT_EQ(plan["targets"][1]["state"], "would wake") << plan.dump();
  EXPECT_EQ(plan["left_out"].size(), 3u) << plan.dump();
}

}  // namespace
}  // namespace kestrelon
