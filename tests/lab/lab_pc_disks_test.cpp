// Reference Clients with PC disks across the lab, driven by kestrelon-cli: a
// Copy cancelled halfway leaves a disk that neither sfdisk nor e2fsck accepts
// and whose Client says so; ext4 and NTFS images copied to larger disks with
// "Keep partition size" off fill them and pass their checkers; a GPT disk
// round-trips byte for byte and is announced with type bytes the Controller names.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "lab_network.h"
#include "support/image_files.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;
using test::run_shell;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

struct Region {
  std::uint64_t start = 0, sectors = 0;
};

class LabPcDisks : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  std::vector<std::string> cli_args(std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + dir.file("settings"),
                               "KESTRELON_PROFILE=" + dir.file("kestreln.ini"), "XDG_STATE_HOME=" + dir.file("state"),
                               KESTRELON_CLI_PATH});
    return args;
  }
  int cli(LabNetwork& net, const std::vector<std::string>& args, std::string& output) {
    lab::LabProcess p = net.spawn(0, cli_args(args));
    const auto status = p.wait(300s);
    output = p.output();
    return status.value_or(-1);
  }
  void make_disk(const std::string& layout, const std::string& path, int mib) {
    ASSERT_EQ(run_shell(std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh " + layout + " " + quoted(path) + " " +
                        std::to_string(mib)),
              0);
  }
  lab::LabProcess client(LabNetwork& net, int host, const std::string& name, std::vector<std::string> disks,
                         bool once) {
    std::vector<std::string> args = {
        KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(host).text(), "--name", name, "--verbose"};
    for (const auto& d : disks) args.insert(args.end(), {"--disk", d});
    if (once) args.push_back("--once");
    return net.spawn(host, args);
  }
  // Creates an image of `disk` (1 = first) of the Client called `name`.
  void create(LabNetwork& net, const std::string& name, int disk, const std::string& image) {
    std::string output;
    ASSERT_EQ(cli(net,
                  {"create", "--client", name, "--disk", std::to_string(disk), "--out", image, "--compression", "1",
                   "--discover-seconds", "20"},
                  output),
              0)
        << output;
  }
  // The partitions a Client announces on its first disk, as `discover --json` lists them.
  nlohmann::json announced(LabNetwork& net, const std::string& name) {
    std::string output;
    EXPECT_EQ(cli(net, {"discover", "--seconds", "3", "--json"}, output), 0) << output;
    const auto all = nlohmann::json::parse(output.substr(output.find('{')), nullptr, false);
    if (all.is_discarded()) return {};
    for (const auto& c : all["clients"]) {
      if (c["name"] == name) return c["drives"][0]["partitions"];
    }
    return {};
  }
  // A checker's status on the partition at `r`, copied out of `disk`.
  int check(const std::string& command, const std::string& disk, Region r) {
    run_shell("dd if=" + quoted(disk) + " of=" + quoted(dir.file("check.img")) +
              " bs=512 skip=" + std::to_string(r.start) + " count=" + std::to_string(r.sectors) + " status=none");
    return run_shell(command + " " + quoted(dir.file("check.img")) + " >/dev/null 2>&1");
  }
  // The last partition of an MBR disk, from sfdisk.
  Region last_partition(const std::string& disk) {
    const std::string out = dir.file("table.txt");
    run_shell("sfdisk -d " + quoted(disk) +
              " | grep start= | tail -1 | sed 's/.*start= *\\([0-9]*\\), size= *\\([0-9]*\\).*/\\1 \\2/' > " +
              quoted(out));
    Region r;
    std::ifstream(out) >> r.start >> r.sectors;
    return r;
  }
  test::TempDir dir;
};

TEST_F(LabPcDisks, ACopyCancelledHalfwayLeavesADiskWithoutTableOrFileSystem) {
  LabNetwork net(2);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string source = dir.file("source.img"), target = dir.file("target.img"), image = dir.file("pc.krn");
  make_disk("mbr-ext4", source, 64);
  // The target held the same layout and files, as from one term to the next.
  ASSERT_EQ(run_shell("cp --sparse=always " + quoted(source) + " " + quoted(target)), 0);
  const Region ext = last_partition(source);
  {
    lab::LabProcess s = client(net, 1, "source", {source}, false);
    create(net, "source", 1, image);
  }
  lab::LabProcess t = client(net, 2, "target", {target}, false);
  lab::LabProcess copy = net.spawn(
      0, cli_args({"copy", image, "--client", "target", "--rate", "1", "--json", "--discover-seconds", "20"}));
  // Cancelled (Ctrl-C) once a third has gone.
  const auto until = std::chrono::steady_clock::now() + 120s;
  while (copy.output().find("\"percent\":30") == std::string::npos && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_NE(copy.output().find("\"percent\":30"), std::string::npos) << copy.output();
  ::kill(copy.pid(), SIGINT);
  EXPECT_NE(copy.wait(30s), 0);
  const auto logged = [&] { return t.output().find("holds a broken-off copy of \"pc.krn\"") != std::string::npos; };
  for (int i = 0; i < 100 && !logged(); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(logged()) << t.output();

  EXPECT_NE(run_shell("sfdisk -d " + quoted(target) + " >/dev/null 2>&1"), 0) << "no partition table";
  EXPECT_NE(check("e2fsck -fn", target, ext), 0) << "no file system where the ext4 one was";
  EXPECT_NE(check("e2fsck -fy", target, ext), 0) << "and none to bring back from a backup superblock";
  const auto partitions = announced(net, "target");
  EXPECT_TRUE(partitions.is_array() && partitions.empty()) << partitions.dump();

  // The same Client started again (the PC switched off and on) says so at once.
  t.kill();
  lab::LabProcess again = client(net, 2, "target", {target}, false);
  std::this_thread::sleep_for(500ms);
  EXPECT_NE(again.output().find("holds a broken-off copy of \"pc.krn\""), std::string::npos) << again.output();
}

TEST_F(LabPcDisks, Ext4AndNtfsImagesFillALargerDiskWhenPartitionsDoNotKeepTheirSize) {
  LabNetwork net(3);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string linux_disk = dir.file("linux.img"), windows_disk = dir.file("windows.img");
  make_disk("mbr-ext4", linux_disk, 64);
  make_disk("ntfs", windows_disk, 64);
  {
    lab::LabProcess s = client(net, 1, "source", {linux_disk, windows_disk}, false);
    create(net, "source", 1, dir.file("linux.krn"));
    create(net, "source", 2, dir.file("windows.krn"));
  }
  struct Case {
    std::string image, target, checker;
    int host;
    std::string grown;
    std::string reported;  // what the Controller shows beside the Client's completion
  };
  for (const Case& c :
       {Case{"linux.krn", "linux-target.img", "e2fsck -fn", 2,
             "partition 2 (ext2/3/4) grown from 55 MiB to 87 MiB, its file system from 55 MiB to 87 MiB",
             "partition 2 (ext2/3/4) takes the larger disk's room: 55 MiB grown to 87 MiB; its file system is grown "
             "after the copy"},
        Case{"windows.krn", "windows-target.img", "ntfsfix -n", 3,
             "partition 1 (NTFS) grown from 63 MiB to 95 MiB, its file system from 62 MiB to 94 MiB",
             "partition 1 (NTFS) takes the larger disk's room: 63 MiB grown to 95 MiB; its file system is grown after "
             "the copy"}}) {
    SCOPED_TRACE(c.image);
    const std::string target = dir.file(c.target);
    ASSERT_TRUE(test::make_virtual_disk(target, 96, ""));
    lab::LabProcess t = client(net, c.host, "target", {target}, true);
    std::string output;
    EXPECT_EQ(cli(net, {"copy", dir.file(c.image), "--client", "target", "--discover-seconds", "20"}, output), 0)
        << output;
    EXPECT_NE(output.find("target (" + LabNetwork::address(c.host).text() + "): " + c.reported), std::string::npos)
        << output;
    EXPECT_EQ(t.wait(60s), 0) << "--once: success once the file system has grown\n" << t.output();
    const Region last = last_partition(target);
    EXPECT_EQ(last.start + last.sectors, 96u * 2048) << "the last partition fills the disk";
    EXPECT_EQ(check(c.checker, target, last), 0);
    EXPECT_NE(t.output().find(c.grown), std::string::npos) << t.output();
  }
}

TEST_F(LabPcDisks, AGptDiskRoundTripsByteForByte) {
  LabNetwork net(2);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string source = dir.file("gpt.img"), target = dir.file("copy.img"), image = dir.file("gpt.krn");
  make_disk("gpt", source, 64);
  {
    lab::LabProcess s = client(net, 1, "uefi-pc", {source}, false);
    const auto partitions = announced(net, "uefi-pc");
    ASSERT_EQ(partitions.size(), 3u) << partitions.dump();
    EXPECT_EQ(partitions[0]["type"], 0xEF);
    EXPECT_EQ(partitions[1]["type_name"], "Fat16/LBA");
    EXPECT_EQ(partitions[2]["type_name"], "Linux");
    create(net, "uefi-pc", 1, image);
  }
  ASSERT_TRUE(test::make_virtual_disk(target, 64, ""));
  lab::LabProcess t = client(net, 2, "target", {target}, true);
  std::string output;
  EXPECT_EQ(cli(net, {"copy", image, "--client", "target", "--discover-seconds", "20"}, output), 0) << output;
  EXPECT_EQ(t.wait(30s), 0) << t.output();
  EXPECT_EQ(run_shell("cmp " + quoted(source) + " " + quoted(target)), 0) << "the whole disk, byte for byte";
  EXPECT_EQ(run_shell("sgdisk -v " + quoted(target) + " | grep -q 'No problems found'"), 0);
}

}  // namespace
}  // namespace kestrelon
