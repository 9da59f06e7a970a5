// A group across the lab: `kestrelon-cli group save` stores three Clients on their
// second disks; one of them then leaves the network. `copy --group` lists it and
// copies nothing, and with --allow-missing it restores the image onto the second
// disk of exactly the two Clients that answer, leaving their first disks alone.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "lab_network.h"
#include "net/client_disk_checks.h"
#include "support/image_files.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;
using lab::LabProcess;

constexpr int kDiskMib = 16;
constexpr int kSourceHost = 1;
constexpr int kFirstMember = 2;
constexpr int kLastMember = 4;  // leaves before the copy

class GroupCopyLab : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  // kestrelon-cli on host 0 with this test's settings and groups file; its exit
  // status, and its output in `output`.
  int cli(LabNetwork& net, std::vector<std::string> args, std::string& output) {
    args.insert(args.begin(), {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + dir.file("settings"),
                               "KESTRELON_PROFILE=" + dir.file("kestreln.ini"), "XDG_STATE_HOME=" + dir.file("state"),
                               KESTRELON_CLI_PATH});
    LabProcess p = net.spawn(0, args);
    const auto status = p.wait(180s);
    output = p.output();
    return status.value_or(-1);
  }
  std::string disk(int host, int number) const {
    return dir.file("host" + std::to_string(host) + "-disk" + std::to_string(number) + ".img");
  }
  static std::string name(int host) { return "member-" + std::to_string(host); }
  bool all_zero(const std::string& path) const {
    const auto bytes = test::read_region(path, 0, std::uint64_t{kDiskMib} << 20);
    for (auto b : bytes)
      if (b != 0) return false;
    return !bytes.empty();
  }

  test::TempDir dir;
};

TEST_F(GroupCopyLab, CopyGoesToTheMembersThatAnswerOntoTheirStoredDisks) {
  LabNetwork net(kLastMember);
  ASSERT_TRUE(net.ok()) << net.error();

  // The image: one partition of random data, uploaded by the source Client.
  const std::string source = dir.file("source.img");
  ASSERT_TRUE(test::make_virtual_disk(source, kDiskMib, "label: dos\n2048,20480,83\n"));
  ASSERT_TRUE(test::fill_region(source, 2048 * 512, 20480ull * 512, 7, false));
  LabProcess source_client = net.spawn(kSourceHost, {KESTRELON_CLIENT_PATH, "--disk", source, "--address",
                                                     LabNetwork::address(kSourceHost).text(), "--name", "source"});
  const std::string image = dir.file("room.krn");
  std::string output;
  ASSERT_EQ(cli(net, {"create", "--client", "source", "--disk", "1", "--out", image, "--description", "Room image",
                      "--sector-by-sector", "--discover-seconds", "20"},
                output),
            0)
      << output;
  source_client.kill();

  // Members with two blank disks each, saved as a group on their second disks.
  std::vector<LabProcess> members;
  std::vector<std::string> save = {"group", "save", "Lab A", "--disk", "2", "--discover-seconds", "20"};
  for (int h = kFirstMember; h <= kLastMember; ++h) {
    ASSERT_TRUE(test::make_virtual_disk(disk(h, 1), kDiskMib, ""));
    ASSERT_TRUE(test::make_virtual_disk(disk(h, 2), kDiskMib, ""));
    members.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--disk", disk(h, 1), "--disk", disk(h, 2), "--address",
                                    LabNetwork::address(h).text(), "--name", name(h)}));
    save.insert(save.end(), {"--client", name(h)});
  }
  ASSERT_EQ(cli(net, save, output), 0) << output;
  EXPECT_NE(output.find("Saved group Lab A with 3 member(s)"), std::string::npos) << output;

  members.back().kill();  // member-4 leaves the network
  const std::vector<std::string> copy = {"copy", image, "--group", "lab a", "--keep-partition-size",
                                         "--discover-seconds", "5"};
  EXPECT_EQ(cli(net, copy, output), 1) << output;
  EXPECT_NE(output.find("Group members not on the network:\n  member-4 "), std::string::npos) << output;
  EXPECT_NE(output.find("nothing was copied"), std::string::npos) << output;
  for (int h = kFirstMember; h < kLastMember; ++h) EXPECT_TRUE(all_zero(disk(h, 2))) << "host " << h;

  std::vector<std::string> allowing = copy;
  allowing.push_back("--allow-missing");
  ASSERT_EQ(cli(net, allowing, output), 0) << output;
  EXPECT_NE(output.find("to 2 client(s)"), std::string::npos) << output;
  for (int h = kFirstMember; h < kLastMember; ++h) {
    SCOPED_TRACE("host " + std::to_string(h));
    client::expect_same_disks(source, disk(h, 2));
    EXPECT_TRUE(all_zero(disk(h, 1))) << "the first disk is not the group's target";
  }
  EXPECT_TRUE(all_zero(disk(kLastMember, 1)));
  EXPECT_TRUE(all_zero(disk(kLastMember, 2)));
}

}  // namespace
}  // namespace kestrelon
