// --disk auto: the fixed disks of a PC from a kernel's view of it (a sysfs tree,
// mount and swap lists, and disk files as its devices, made by the test), in
// their stable order, with every disk left out named; the Client then announces
// the first four. A real disk of 4096-byte sectors (a loop device) is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "client_runtime.h"
#include "disk_discovery.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"
#include "support/private_network.h"
#include "support/udp_peer.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {
namespace {

namespace fs = std::filesystem;

// A PC as the kernel shows it, in a folder of the test's own.
struct FakePc {
  FakePc() {
    paths = {dir.file("sys"), dir.file("dev"), dir.file("mountinfo"), dir.file("swaps")};
    fs::create_directories(paths.sys + "/block");
    fs::create_directories(paths.sys + "/dev/block");
    fs::create_directories(paths.dev);
    std::ofstream(paths.swaps) << "Filename\tType\tSize\tUsed\tPriority\n";
    std::ofstream(paths.mountinfo) << "22 1 0:21 / / rw - rootfs rootfs rw\n";
  }
  static void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  // A disk behind `hardware` (a path under devices/), with a device file of
  // `mib` MiB partitioned by `layout` (a make_pc_disk.sh layout, or "" for none).
  fs::path disk(const std::string& name, const std::string& hardware, const std::string& layout = "",
                const std::string& removable = "0", const std::string& sector = "512", int mib = 48) {
    const fs::path real = fs::path(paths.sys) / "devices" / hardware / "block" / name;
    write(real / "removable", removable);
    write(real / "size", std::to_string(mib * 2048));
    write(real / "queue/logical_block_size", sector);
    fs::create_directories(real / "holders");
    fs::create_directory_symlink(real.parent_path().parent_path(), real / "device");
    fs::create_directory_symlink(real, fs::path(paths.sys) / "block" / name);
    const std::string file = paths.dev + "/" + name;
    if (layout.empty()) {
      EXPECT_TRUE(test::make_virtual_disk(file, static_cast<std::uint64_t>(mib), "label: dos\n2048,,83\n"));
    } else {
      EXPECT_EQ(test::run_shell(std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh " + layout + " " + file + " " +
                                std::to_string(mib)),
                0);
    }
    return real;
  }
  fs::path partition(const fs::path& disk, const std::string& name, const std::string& numbers) {
    write(disk / name / "partition", name.substr(name.size() - 1));
    fs::create_directories(disk / name / "holders");
    fs::create_directory_symlink(disk / name, fs::path(paths.sys) / "dev/block" / numbers);
    return disk / name;
  }
  test::TempDir dir;
  SystemPaths paths;
};

std::string why_left_out(const DiskSurvey& s, const std::string& name) {
  for (const auto& d : s.left_out) {
    if (d.name == name) return d.why;
  }
  return "(listed)";
}

struct RecordingLog : ClientLog {
  RecordingLog() : ClientLog(false) {}
  void note(const std::string& who, const std::string& text) override {
    std::lock_guard lock(mutex);
    lines.push_back(who + ": " + text);
  }
  std::mutex mutex;
  std::vector<std::string> lines;
};

TEST(ClientDiskDiscovery, FixedDisksInAStableOrderWithEveryOtherDiskNamed) {
  KESTRELON_REQUIRE_PRIVATE_NETWORK();
  FakePc pc;
  const std::string sata = "pci0000:00/0000:00:1f.2/";
  // Named against the hardware order, as the kernel may name them on one start.
  pc.disk("sda", sata + "ata3/host2/target2:0:0/2:0:0:0");
  pc.disk("sdb", sata + "ata10/host9/target9:0:0/9:0:0:0");
  pc.disk("sdc", sata + "ata2/host1/target1:0:0/1:0:0:0");
  pc.disk("nvme0n1", "pci0000:00/0000:00:04.0/nvme/nvme0", "gpt", "0", "512", 64);
  pc.disk("vda", "pci0000:00/0000:00:0a.0/virtio3");
  pc.disk("sdd", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0");
  pc.disk("sde", "pci0000:00/0000:00:14.0/usb2/2-2/2-2:1.0/host7/target7:0:0/7:0:0:0", "", "1");
  pc.disk("sr0", sata + "ata5/host4/target4:0:0/4:0:0:0", "", "1");
  pc.partition(pc.disk("sdf", sata + "ata6/host5/target5:0:0/5:0:0:0"), "sdf1", "8:81");
  std::ofstream(pc.paths.mountinfo, std::ios::app) << "36 22 8:81 / /home rw - ext4 /dev/sdf1 rw\n";
  pc.partition(pc.disk("sdg", sata + "ata7/host10/target10:0:0/10:0:0:0"), "sdg2", "8:98");
  std::ofstream(pc.paths.swaps, std::ios::app) << "/dev/sdg2\tpartition\t1024\t0\t-2\n";
  FakePc::write(pc.disk("sdh", sata + "ata8/host11/target11:0:0/11:0:0:0") / "holders/dm-0", "");
  pc.disk("sdi", sata + "ata9/host12/target12:0:0/12:0:0:0", "", "0", "4096");
  pc.disk("sdj", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host8/target8:0:0/8:0:0:0", "boot", "0", "512", 64);
  FakePc::write(pc.disk("sdk", sata + "ata11/host13/target13:0:0/13:0:0:0") / "size", "0");
  fs::create_directories(pc.paths.sys + "/devices/virtual/block/loop0");
  fs::create_directory_symlink(pc.paths.sys + "/devices/virtual/block/loop0", pc.paths.sys + "/block/loop0");

  const DiskSurvey s = survey_disks(pc.paths);
  std::vector<std::string> names;
  for (const auto& d : s.disks) names.push_back(d.name + " " + d.kind);
  EXPECT_EQ(names, (std::vector<std::string>{"nvme0n1 NVMe", "vda virtio", "sdc SATA/SCSI", "sda SATA/SCSI",
                                             "sdb SATA/SCSI", "sdd USB"}));
  EXPECT_EQ(s.disks[0].path, pc.paths.dev + "/nvme0n1");
  EXPECT_EQ(why_left_out(s, "sde"), "removable medium");
  EXPECT_EQ(why_left_out(s, "sr0"), "removable medium");
  EXPECT_EQ(why_left_out(s, "sdf"), "sdf1 is mounted or holds swap");
  EXPECT_EQ(why_left_out(s, "sdg"), "sdg2 is mounted or holds swap");
  EXPECT_EQ(why_left_out(s, "sdh"), "sdh is in use by dm-0");
  EXPECT_EQ(why_left_out(s, "sdi"), "4096-byte sectors, which this Client does not handle");
  EXPECT_EQ(why_left_out(s, "sdj"), "the medium this PC started from (FAT label KSTRLN-BOOT)");
  EXPECT_EQ(why_left_out(s, "sdk"), "no medium");
  EXPECT_EQ(s.left_out.size(), 8u) << "the loop device is no disk, and not named";

  // The Client offers the first four and names the rest.
  ClientOptions o;
  o.discover_disks = true;
  o.system_paths = pc.paths;
  o.address = Ipv4Address(127, 0, 0, 90);
  auto log = std::make_unique<RecordingLog>();
  RecordingLog& lines = *log;
  std::string error;
  auto runtime = ClientRuntime::create(o, &error, std::move(log));
  ASSERT_TRUE(runtime) << error;
  const std::string all = testing::PrintToString(lines.lines);
  EXPECT_NE(all.find("disk 1: " + pc.paths.dev + "/nvme0n1 (NVMe, 64 MiB)"), std::string::npos) << all;
  EXPECT_NE(all.find("not offered: " + pc.paths.dev + "/sdb (SATA/SCSI, 48 MiB), " + pc.paths.dev + "/sdd (USB"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("sdj left out: the medium this PC started from"), std::string::npos) << all;
  std::thread loop([&] { runtime->run(); });
  test::UdpPeer controller(Ipv4Address(127, 0, 0, 2), wire::kControlPort);
  controller.send(wire::build_discover(Ipv4Address(127, 0, 0, 2)), wire::kControlGroup, wire::kControlPort);
  std::optional<wire::Announce> announce;
  while (const auto r = controller.receive(2000)) {
    announce = wire::decode_announce(r->bytes);
    if (announce) break;
  }
  runtime->stop();
  loop.join();
  ASSERT_TRUE(announce);
  ASSERT_EQ(announce->disk_count, 4);
  EXPECT_EQ(announce->disks[0].size_sectors, 64u * 2048);
  EXPECT_EQ(announce->disks[0].partition_count, 3) << "the NVMe disk's GPT partitions";
  EXPECT_EQ(announce->disks[0].partitions[0].type, 0xEF);
  EXPECT_EQ(announce->disks[1].bios_number, 0x81);
}

TEST(ClientDiskDiscovery, ADiskOf4096ByteSectorsIsRefusedByName) {
  if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: needs root (a loop device)";
  test::TempDir dir;
  ASSERT_TRUE(test::make_virtual_disk(dir.file("4k.img"), 8, ""));
  FILE* p = ::popen(("losetup --sector-size 4096 -f --show '" + dir.file("4k.img") + "' 2>/dev/null").c_str(), "r");
  ASSERT_TRUE(p);
  char line[128] = {};
  const bool got = std::fgets(line, sizeof line, p) != nullptr;
  ::pclose(p);
  if (!got) GTEST_SKIP() << "SKIPPED: no loop device with 4096-byte sectors here";
  const std::string device = std::string(line).substr(0, std::string(line).find('\n'));
  std::string error;
  EXPECT_FALSE(DiskDevice::open(device, false, &error));
  test::run_shell("losetup -d " + device);
  EXPECT_EQ(error, "disk " + device + " has 4096-byte sectors; this Client handles only disks of 512-byte sectors");
}

}  // namespace
}  // namespace kestrelon::client
