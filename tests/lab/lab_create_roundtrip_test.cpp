// The whole imaging round-trip across the lab: a reference Client on host 1
// serves a virtual disk with an ext4 and a FAT32 partition full of files;
// `kestrelon-cli create` on host 0 makes an image of it (compression 0 and 9,
// with and without sector-by-sector); `kestrelon-cli copy` sends the image to
// three Clients' blank disks on hosts 2 to 4, host 4 behind 2 % loss. Every
// restored partition must equal the source's byte for byte and pass fsck, and
// the image's description must read back as entered.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "lab_network.h"
#include "support/image_files.h"
#include "support/virtual_disk.h"
#include "transfer/image_file.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;

constexpr int kDiskMib = 48;
constexpr int kFirstTarget = 2;
constexpr int kLastTarget = 4;
constexpr int kLossyHost = 4;

struct Partition {
  std::uint8_t type = 0;
  std::uint64_t start = 0;  // sectors
  std::uint64_t sectors = 0;
  bool operator==(const Partition&) const = default;
};

// The primary partitions in a disk's MBR.
std::vector<Partition> partitions_of(const std::string& disk) {
  const auto mbr = test::read_region(disk, 0, 512);
  std::vector<Partition> parts;
  if (mbr.size() < 512 || mbr[510] != 0x55 || mbr[511] != 0xAA) return parts;
  auto le32 = [](const std::uint8_t* p) {
    return std::uint64_t{p[0]} | std::uint64_t{p[1]} << 8 | std::uint64_t{p[2]} << 16 | std::uint64_t{p[3]} << 24;
  };
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t* e = mbr.data() + 446 + 16 * i;
    if (e[4] != 0) parts.push_back({e[4], le32(e + 8), le32(e + 12)});
  }
  return parts;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

bool same_region(const std::string& a, const std::string& b, const Partition& p) {
  const std::string at = std::to_string(p.start * 512);
  return test::run_shell("cmp -s -n " + std::to_string(p.sectors * 512) + " -i " + at + ":" + at + " " + quoted(a) +
                         " " + quoted(b)) == 0;
}

// fsck of one partition, copied out of its disk into a file of its own.
bool file_system_clean(const std::string& disk, const Partition& p, const std::string& scratch) {
  if (test::run_shell("dd if=" + quoted(disk) + " of=" + quoted(scratch) + " bs=512 skip=" + std::to_string(p.start) +
                      " count=" + std::to_string(p.sectors) + " status=none") != 0)
    return false;
  const std::string check = p.type == 0x83 ? "e2fsck -fn " : "fsck.vfat -n ";
  return test::run_shell(check + quoted(scratch) + " >/dev/null 2>&1") == 0;
}

struct Case {
  int compression;
  bool sector_by_sector;
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << "compression " << c.compression << (c.sector_by_sector ? ", sector by sector" : "");
}

class LabCreateRoundTrip : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  // Runs kestrelon-cli on host 0; its exit status, and its output in `output`.
  int cli(LabNetwork& net, std::vector<std::string> args, std::string& output) {
    args.insert(args.begin(), {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + dir.file("settings"),
                               "KESTRELON_PROFILE=" + dir.file("kestreln.ini"), "XDG_STATE_HOME=" + dir.file("state"),
                               KESTRELON_CLI_PATH});
    lab::LabProcess p = net.spawn(0, args);
    const auto status = p.wait(400s);
    output = p.output();
    return status.value_or(-1);
  }

  std::string target_disk(int host) const { return dir.file("target" + std::to_string(host) + ".img"); }
  static std::string target_name(int host) { return "target-" + std::to_string(host); }

  // Copies the image to blank disks of the given hosts; returns the hosts whose
  // Client did not report the image written.
  std::vector<int> copy_to(LabNetwork& net, const std::string& image, const std::vector<int>& hosts) {
    std::vector<lab::LabProcess> clients;
    std::vector<std::string> args = {"copy", image, "--keep-partition-size", "--discover-seconds", "20"};
    for (const int h : hosts) {
      std::filesystem::remove(target_disk(h));
      EXPECT_TRUE(test::make_virtual_disk(target_disk(h), kDiskMib, ""));  // zeros, no partition table
      clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--disk", target_disk(h), "--address",
                                      LabNetwork::address(h).text(), "--name", target_name(h), "--once"}));
      args.insert(args.end(), {"--client", target_name(h)});
    }
    std::string output;
    const int status = cli(net, args, output);
    std::vector<int> failed;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
      if (clients[i].wait(30s) != 0) {
        failed.push_back(hosts[i]);
        std::printf("host %d's Client:\n%s\n", hosts[i], clients[i].output().c_str());
      }
    }
    if (!failed.empty()) std::printf("copy:\n%s\n", output.c_str());
    if (status != 0 && failed.empty()) ADD_FAILURE() << "copy failed with every Client done:\n" << output;
    return failed;
  }

  test::TempDir dir;
};

TEST_P(LabCreateRoundTrip, ImageRestoresByteForByteOnThreeClientsOneBehindLoss) {
  const Case c = GetParam();
  LabNetwork net(kLastTarget);
  ASSERT_TRUE(net.ok()) << net.error();
  ASSERT_TRUE(net.set_loss(kLossyHost, 2));

  const std::string source = dir.file("source.img");
  const std::string make_disk = (std::filesystem::path(KESTRELON_LAB_DIR) / "make_test_disk.sh").string();
  ASSERT_EQ(test::run_shell(quoted(make_disk) + " " + quoted(source) + " " + std::to_string(kDiskMib) + " >/dev/null"),
            0);
  const std::vector<Partition> source_parts = partitions_of(source);
  ASSERT_EQ(source_parts.size(), 2u);
  ASSERT_EQ(source_parts[0].type, 0x83);
  ASSERT_EQ(source_parts[1].type, 0x0C);
  for (const Partition& p : source_parts) ASSERT_TRUE(file_system_clean(source, p, dir.file("check.img")));

  lab::LabProcess source_client = net.spawn(
      1, {KESTRELON_CLIENT_PATH, "--disk", source, "--address", LabNetwork::address(1).text(), "--name", "source"});
  const std::string image = dir.file("lab.krn");
  const std::string description = "Round trip, level " + std::to_string(c.compression) +
                                  (c.sector_by_sector ? ", sector by sector" : "");
  std::vector<std::string> create = {"create", "--client", "source", "--disk", "1", "--out", image, "--description",
                                     description, "--compression", std::to_string(c.compression),
                                     "--discover-seconds", "20"};
  if (c.sector_by_sector) create.push_back("--sector-by-sector");
  std::string output;
  ASSERT_EQ(cli(net, create, output), 0) << output;
  source_client.kill();
  EXPECT_EQ(image::description_of(test::read_region(image, 0, image::kInformationLength)), description);

  std::vector<int> failed = copy_to(net, image, {2, 3, 4});
  if (!failed.empty()) {
    // A Client behind loss can fall so far behind that the Copy gives up on it;
    // an administrator copies again to the Clients that did not complete.
    std::printf("note: copying again to %zu Client(s) that did not complete\n", failed.size());
    failed = copy_to(net, image, failed);
  }
  ASSERT_TRUE(failed.empty()) << "host " << failed.front() << " did not complete two copies";

  for (int h = kFirstTarget; h <= kLastTarget; ++h) {
    SCOPED_TRACE("host " + std::to_string(h));
    ASSERT_EQ(partitions_of(target_disk(h)), source_parts);
    for (const Partition& p : source_parts) {
      EXPECT_TRUE(same_region(source, target_disk(h), p)) << "partition at sector " << p.start;
      EXPECT_TRUE(file_system_clean(target_disk(h), p, dir.file("check.img"))) << "type " << int{p.type};
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CompressionAndSectorBySector, LabCreateRoundTrip,
                         ::testing::Values(Case{0, false}, Case{9, false}, Case{0, true}, Case{9, true}),
                         [](const ::testing::TestParamInfo<Case>& p) {
                           return "Level" + std::to_string(p.param.compression) +
                                  (p.param.sector_by_sector ? "SectorBySector" : "UsedData");
                         });

}  // namespace
}  // namespace kestrelon
