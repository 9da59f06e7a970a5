// Each PC its own name after a copy, end to end on the wire: kestrelon-cli
// images a master holding a Linux system and a Windows (a real Create from a
// Client program), a group's name plan is set with `group names`, and a copy to
// the group's two PCs (Client programs restoring onto disk files) gives each
// its name from the plan; both report back, and the copy's output and journal
// say which name each PC took. "Create Unique NT SID", on by default, is
// answered in a Client's log only where a Windows was copied.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_rig.h"
#include "running_client.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/system_disks.h"
#include "system_naming.h"

namespace kestrelon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Volume;

constexpr int kMib = 72;
const Ipv4Address kMaster(127, 0, 5, 1);

client::ClientOptions pc(Ipv4Address address, const std::string& name, const fs::path& disk) {
  client::ClientOptions o;
  o.address = address;
  o.name = name;
  o.disks = {disk.string()};
  return o;
}

class CliCopyNamesTest : public test::CliRig {
 protected:
  CliCopyNamesTest() : CliRig("copy") {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  std::optional<int> cli(std::vector<std::string> args, std::string* output, std::chrono::seconds limit = 120s) {
    args.insert(args.begin(), KESTRELON_CLI_PATH);
    test::ChildProcess p(args, environment());
    const auto status = p.wait(limit);
    *output = p.output();
    return status;
  }
  // The image of a master disk holding `volumes`, made by a real Create.
  fs::path image_of(const std::vector<Volume>& volumes) {
    const fs::path master = temp / "master.disk", image = temp / "room.krn";
    EXPECT_EQ(test::make_systems_disk(master, kMib, volumes), "");
    client::RunningClient source(pc(kMaster, "MASTER", master));
    std::string out;
    EXPECT_EQ(cli({"create", "--client", "MASTER", "--disk", "1", "--out", image.string(), "--description",
                   "the room's systems", "--loopback", "--discover-seconds", "5"},
                  &out),
              0)
        << out;
    return image;
  }
  fs::path blank(const std::string& name) {
    const fs::path disk = temp / name;
    std::ofstream(disk).close();
    fs::resize_file(disk, std::uintmax_t{kMib} << 20);
    return disk;
  }
  // The group Room and what the Controller remembers of its PCs' cards.
  void room(const std::vector<std::pair<std::string, std::string>>& members) {
    std::ofstream groups(temp / "kestreln.ini");
    groups << "[Room]\n";
    std::string clients;
    for (std::size_t i = 0; i < members.size(); ++i) {
      groups << i << "=" << members[i].first << ",127.000.005.00" << i + 2 << ",1,0," << kMib << "\n";
      clients += std::string(i ? "," : "") + R"({"name":")" + members[i].first + R"(","address":"127.0.5.)" +
                 std::to_string(i + 2) + R"(","mac":")" + members[i].second + R"("})";
    }
    fs::create_directories(temp / "state" / "kestrelon");
    std::ofstream(temp / "state" / "kestrelon" / "clients.json") << R"({"clients":[)" << clients << "]}\n";
  }
  fs::path partition(const fs::path& disk, int number) {
    const fs::path out = temp / (disk.filename().string() + ".p" + std::to_string(number));
    EXPECT_TRUE(test::extract_partition(disk, number, out));
    return out;
  }
  std::string computer_name_in_hive(const fs::path& disk) {
    const fs::path hive = temp / (disk.filename().string() + ".SYSTEM");
    std::ofstream(hive, std::ios::binary) << test::ntfs_file(partition(disk, 2), "/Windows/System32/config/SYSTEM");
    return test::hive_value(hive, "\\ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName");
  }
  std::vector<nlohmann::json> journal_lines() {
    std::vector<nlohmann::json> lines;
    std::ifstream in(journal());
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
};

TEST_F(CliCopyNamesTest, EachPcOfTheGroupTakesItsNameFromThePlanAndReportsIt) {
  const fs::path image = image_of({Volume::linux_ext4, Volume::windows_ntfs});
  room({{"PC-A", "52:54:00:05:00:0b"}, {"PC-B", "52:54:00:05:00:0a"}});
  std::string out;
  ASSERT_EQ(cli({"group", "names", "Room", "--pattern", "ROOM12-PC{nn}"}, &out), 0) << out;
  // Numbered in the order of the cards: PC-B's comes first.
  EXPECT_NE(out.find("PC-B  52:54:00:05:00:0a  ROOM12-PC01"), std::string::npos) << out;
  EXPECT_NE(out.find("PC-A  52:54:00:05:00:0b  ROOM12-PC02"), std::string::npos) << out;

  const fs::path disk_a = blank("a.disk"), disk_b = blank("b.disk");
  testing::internal::CaptureStderr();
  std::optional<int> status;
  {
    client::RunningClient a(pc(Ipv4Address(127, 0, 5, 2), "PC-A", disk_a));
    client::RunningClient b(pc(Ipv4Address(127, 0, 5, 3), "PC-B", disk_b));
    status = cli({"copy", image.string(), "--group", "Room", "--json", "--loopback", "--discover-seconds", "5"}, &out);
  }
  const std::string clients_log = testing::internal::GetCapturedStderr();
  ASSERT_EQ(status, 0) << out << clients_log;

  std::map<std::string, nlohmann::json> named, summary, reported;
  std::istringstream events(out);
  for (std::string line; std::getline(events, line);) {
    const auto e = nlohmann::json::parse(line);
    if (e["event"] == "name") named[e["name"]] = e;
    if (e["event"] == "summary") {
      for (const auto& t : e["targets"]) summary[t["name"]] = t;
    }
    if (e["event"] == "after_copy") {
      for (const auto& t : e["targets"]) reported[t["name"]] = t;
    }
  }
  EXPECT_EQ(named["PC-A"]["computer_name"], "ROOM12-PC02") << out;
  EXPECT_EQ(named["PC-B"]["computer_name"], "ROOM12-PC01") << out;
  EXPECT_EQ(summary["PC-A"]["computer_name"], "ROOM12-PC02") << out;
  EXPECT_FALSE(summary["PC-A"].contains("name_taken")) << "the Client took its name";
  for (const char* name : {"PC-A", "PC-B"}) {
    EXPECT_EQ(reported[name]["outcome"], "named") << out;
    const std::string reason = reported[name].value("reason", "");
    EXPECT_NE(reason.find("written into Debian GNU/Linux 12 (bookworm) on partition 1"), std::string::npos) << reason;
    EXPECT_NE(reason.find("written into Windows on partition 2"), std::string::npos) << reason;
  }

  // On the disks, as each system's own tools read them.
  EXPECT_EQ(test::ext_file(partition(disk_a, 1), "/etc/hostname"), "ROOM12-PC02\n");
  EXPECT_EQ(test::ext_file(partition(disk_b, 1), "/etc/hostname"), "ROOM12-PC01\n");
  EXPECT_EQ(computer_name_in_hive(disk_a), "ROOM12-PC02");
  EXPECT_EQ(computer_name_in_hive(disk_b), "ROOM12-PC01");
  EXPECT_NE(test::ext_file(partition(disk_a, 1), "/etc/machine-id"),
            test::ext_file(partition(disk_b, 1), "/etc/machine-id"))
      << "no two PCs share an identity";

  // The journal: the copy's line with each target's name, then the reports.
  const auto lines = journal_lines();
  ASSERT_GE(lines.size(), 3u);
  const auto& copy = lines[lines.size() - 2];
  const auto& after = lines.back();
  EXPECT_EQ(copy["kind"], "copy");
  EXPECT_EQ(after["kind"], "after-copy");
  EXPECT_EQ(after["result"], "succeeded");
  EXPECT_EQ(after["started"], copy["started"]) << "the reports name the copy they follow";
  ASSERT_EQ(after["targets"].size(), 2u);

  // The setting "SID" was never chosen, so it is on: a copied Windows is
  // told about, once per PC, after the copy.
  std::size_t notes = 0;
  for (std::size_t at = clients_log.find(client::kUniqueSidNote); at != std::string::npos;
       at = clients_log.find(client::kUniqueSidNote, at + 1)) {
    ++notes;
  }
  EXPECT_EQ(notes, 2u) << clients_log;
}

TEST_F(CliCopyNamesTest, ALinuxCopyWithoutAPlanIsNotRenamedAndSaysNothingOfSecurityIdentifiers) {
  const fs::path image = image_of({Volume::linux_ext4});
  const fs::path disk = blank("a.disk");
  testing::internal::CaptureStderr();
  std::string out;
  std::optional<int> status;
  {
    client::RunningClient a(pc(Ipv4Address(127, 0, 5, 2), "PC-A", disk));
    status = cli({"copy", image.string(), "--client", "PC-A", "--loopback", "--discover-seconds", "5"}, &out);
  }
  const std::string clients_log = testing::internal::GetCapturedStderr();
  ASSERT_EQ(status, 0) << out << clients_log;
  EXPECT_EQ(clients_log.find("Create Unique NT SID"), std::string::npos) << clients_log;
  EXPECT_EQ(out.find("computer name"), std::string::npos) << out;
  EXPECT_EQ(test::ext_file(partition(disk, 1), "/etc/hostname"), "master-pc\n") << "the master's name stays";
  EXPECT_EQ(journal_lines().back()["kind"], "copy") << "no reports were asked for";
}

}  // namespace
}  // namespace kestrelon
