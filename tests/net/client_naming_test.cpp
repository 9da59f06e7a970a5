// The Client's naming of copied systems, on disk image files made with the file
// systems' own tools and read back with them: a Linux system on ext4 and a
// Windows on NTFS take the name, a FAT partition and a disk without a system
// are left as they are, and systems left unclean are not written.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hosts_file.h"
#include "linux_naming.h"
#include "support/system_disks.h"
#include "support/temp_folder.h"
#include "support/virtual_disk.h"
#include "system_naming.h"

namespace kestrelon::client {
namespace {

namespace fs = std::filesystem;
using test::Volume;

// The partitions of a disk made by make_systems_disk, as the restore knows them.
std::vector<NamingPartition> partitions_of(int count, int mib) {
  const std::uint64_t each = (static_cast<std::uint64_t>(mib - 1) / static_cast<std::uint64_t>(count)) * 2048;
  std::vector<NamingPartition> parts;
  for (int i = 0; i < count; ++i) parts.push_back({i + 1, 2048 + static_cast<std::uint64_t>(i) * each, each});
  return parts;
}

std::string whole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(HostsFile, TheOldNameFollowsTheNewOneAndNothingElseChanges) {
  EXPECT_EQ(renamed_hosts("127.0.0.1 localhost\n127.0.1.1  Master.lab.lan master # the PC\n10.0.0.9 masterful\n",
                          "master", "PC-04"),
            "127.0.0.1 localhost\n127.0.1.1  PC-04.lab.lan PC-04 # the PC\n10.0.0.9 masterful\n");
  EXPECT_EQ(renamed_hosts("127.0.0.1\tlocalhost", "", "PC-04"), "127.0.0.1\tlocalhost\n127.0.1.1\tPC-04\n")
      << "no old name: the name goes to 127.0.1.1";
  EXPECT_EQ(renamed_hosts("127.0.0.1 localhost\n", "localhost", "PC-04"), "127.0.0.1 localhost\n127.0.1.1\tPC-04\n")
      << "localhost is nobody's own name";
  EXPECT_EQ(renamed_hosts("# master is here\n", "master", "PC-04"), "# master is here\n127.0.1.1\tPC-04\n");
}

class SystemNamingTest : public ::testing::Test {
 protected:
  fs::path make(const std::vector<Volume>& volumes, const test::SystemsDisk& spec = {}) {
    const fs::path disk = dir / "disk.img";
    const std::string problem = test::make_systems_disk(disk, kMib, volumes, spec);
    EXPECT_EQ(problem, "");
    return disk;
  }
  fs::path partition(const fs::path& disk, int number) {
    const fs::path out = dir / ("p" + std::to_string(number));
    EXPECT_TRUE(test::extract_partition(disk, number, out));
    return out;
  }
  fs::path hive_of(const fs::path& volume) {
    const fs::path hive = dir / "SYSTEM";
    std::ofstream(hive, std::ios::binary) << test::ntfs_file(volume, "/Windows/System32/config/SYSTEM");
    return hive;
  }
  static constexpr int kMib = 72;
  test::TempFolder dir;
};

TEST_F(SystemNamingTest, LinuxAndWindowsTakeTheNameAndOtherPartitionsStayAsTheyWere) {
  const fs::path disk = make({Volume::linux_ext4, Volume::windows_ntfs, Volume::fat});
  const fs::path fat_before = partition(disk, 3);
  const NamingResult result = name_systems(disk.string(), partitions_of(3, kMib), "ROOM12-PC04");
  ASSERT_EQ(result.outcome, wire::NamingOutcome::named);
  ASSERT_EQ(result.lines.size(), 2u);
  EXPECT_EQ(result.lines[0],
            "computer name ROOM12-PC04 written into Debian GNU/Linux 12 (bookworm) on partition 1: /etc/hostname, "
            "/etc/hosts, /etc/machine-id, /var/lib/dbus/machine-id");
  EXPECT_EQ(result.lines[1],
            "computer name ROOM12-PC04 written into Windows on partition 2: ComputerName and the TCP/IP host name "
            "in its SYSTEM hive (was MASTER-PC)");

  // Linux, as its own tools read it.
  const fs::path linux_volume = partition(disk, 1);
  EXPECT_EQ(test::run_shell("e2fsck -fn '" + linux_volume.string() + "' >/dev/null 2>&1"), 0) << "damaged";
  EXPECT_EQ(test::ext_file(linux_volume, "/etc/hostname"), "ROOM12-PC04\n");
  EXPECT_EQ(test::ext_file(linux_volume, "/etc/hosts"),
            "127.0.0.1\tlocalhost\n127.0.1.1\tROOM12-PC04.school.lan\tROOM12-PC04\n\n"
            "# The following lines are desirable for IPv6\n::1     localhost\n");
  const std::string id = test::ext_file(linux_volume, "/etc/machine-id");
  EXPECT_EQ(id.size(), 33u);
  EXPECT_NE(id, "0123456789abcdef0123456789abcdef\n") << "a new identity";
  EXPECT_EQ(id[12], '4') << "shaped as systemd makes one";
  EXPECT_EQ(test::ext_file(linux_volume, "/var/lib/dbus/machine-id"), id) << "D-Bus's copy follows";
  EXPECT_EQ(test::ext_file(linux_volume, "/home/user/notes.txt"), "kept as it was\n");

  // Windows: every name hivexget reads, the NetBIOS name in capitals.
  const fs::path windows_volume = partition(disk, 2);
  const fs::path hive = hive_of(windows_volume);
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName"),
            "ROOM12-PC04");
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Services\\Tcpip\\Parameters", "Hostname"), "ROOM12-PC04");
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Services\\Tcpip\\Parameters", "NV Hostname"), "ROOM12-PC04");
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Services\\Tcpip\\Parameters", "Domain"), "school.lan");
  EXPECT_EQ(test::run_shell("ntfsfix -n '" + windows_volume.string() + "' >/dev/null 2>&1"), 0) << "damaged";

  EXPECT_EQ(whole(partition(disk, 3)), whole(fat_before)) << "FAT holds no system this Client names";
  EXPECT_TRUE(holds_windows(disk.string(), partitions_of(3, kMib)));
}

TEST_F(SystemNamingTest, ALongNameIsCutForWindowsNetbiosAloneAndAnotherSystemCanBeNamedAgain) {
  const fs::path disk = make({Volume::windows_ntfs, Volume::linux_ext4});
  ASSERT_EQ(name_systems(disk.string(), partitions_of(2, kMib), "lab-pc-with-a-long-name").outcome,
            wire::NamingOutcome::named);
  ASSERT_EQ(name_systems(disk.string(), partitions_of(2, kMib), "lab-pc-07").outcome, wire::NamingOutcome::named);
  const fs::path hive = hive_of(partition(disk, 1));
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Control\\ComputerName\\ComputerName", "ComputerName"),
            "LAB-PC-07");
  EXPECT_EQ(test::hive_value(hive, "\\ControlSet001\\Services\\Tcpip\\Parameters", "Hostname"), "lab-pc-07");
  const fs::path linux_volume = partition(disk, 2);
  EXPECT_EQ(test::ext_file(linux_volume, "/etc/hostname"), "lab-pc-07\n");
  EXPECT_EQ(test::ext_file(linux_volume, "/etc/hosts").find("lab-pc-with-a-long-name"), std::string::npos)
      << "the old name's lines follow the name";
  EXPECT_NE(test::ext_file(linux_volume, "/etc/hosts").find("127.0.1.1\tlab-pc-07.school.lan\tlab-pc-07"),
            std::string::npos);

  // Only the first 15 characters make the NetBIOS name.
  ASSERT_EQ(name_systems(disk.string(), partitions_of(2, kMib), "lab-pc-with-a-long-name").outcome,
            wire::NamingOutcome::named);
  EXPECT_EQ(test::hive_value(hive_of(partition(disk, 1)), "\\ControlSet001\\Control\\ComputerName\\ComputerName",
                             "ComputerName"),
            "LAB-PC-WITH-A-L");
}

TEST_F(SystemNamingTest, DisksWithoutARecognisedSystemAreLeftAsTheyAre) {
  const fs::path disk = make({Volume::data_ext4, Volume::fat});
  const std::string before = whole(disk);
  const NamingResult result = name_systems(disk.string(), partitions_of(2, kMib), "ROOM12-PC04");
  EXPECT_EQ(result.outcome, wire::NamingOutcome::left_as_is);
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_NE(result.lines[0].find("holds no system this Client recognises"), std::string::npos) << result.lines[0];
  EXPECT_TRUE(whole(disk) == before) << "not a byte changed";
  EXPECT_FALSE(holds_windows(disk.string(), partitions_of(2, kMib)));
}

TEST_F(SystemNamingTest, SystemsLeftUncleanAreNotWritten) {
  const fs::path disk = make({Volume::linux_ext4, Volume::windows_ntfs}, {.unclean_hive = true});
  // The ext journal holds changes not yet in place, as after a power cut.
  const fs::path volume = dir / "p1.img";
  ASSERT_TRUE(test::extract_partition(disk, 1, volume));
  ASSERT_EQ(test::run_shell("debugfs -w -R 'feature needs_recovery' '" + volume.string() + "' >/dev/null 2>&1"), 0);
  ASSERT_EQ(test::run_shell("dd if='" + volume.string() + "' of='" + disk.string() +
                            "' bs=512 seek=2048 conv=notrunc status=none"),
            0);
  const std::string before = whole(disk);
  const NamingResult result = name_systems(disk.string(), partitions_of(2, kMib), "ROOM12-PC04");
  EXPECT_EQ(result.outcome, wire::NamingOutcome::failed);
  ASSERT_EQ(result.lines.size(), 2u);
  EXPECT_NE(result.lines[0].find("not written into Debian GNU/Linux 12 (bookworm) on partition 1: its journal holds "
                                 "changes not yet written"),
            std::string::npos)
      << result.lines[0];
  EXPECT_NE(result.lines[1].find("not written into Windows on partition 2: its registry's logs hold changes"),
            std::string::npos)
      << result.lines[1];
  EXPECT_TRUE(whole(disk) == before) << "neither system was touched";
}

}  // namespace
}  // namespace kestrelon::client
