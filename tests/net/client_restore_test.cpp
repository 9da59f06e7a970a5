// Restores of PC disks, in-process (image builder to restorer, no network): a GPT
// disk byte for byte and fitted to larger disks; a restore that breaks off leaves
// neither a partition table nor a file system a checker could bring back; the
// last data partition takes a larger disk's room unless partitions keep their
// size, and what follows it (swap) moves to the end, found by its UUID and label;
// a disk too small is refused before anything is written.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "client_disk_checks.h"
#include "disk_set.h"
#include "image_builder.h"
#include "image_restorer.h"
#include "support/virtual_disk.h"

namespace kestrelon::client {
namespace {

using test::run_shell;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

void make_pc_disk(const std::string& layout, const std::string& path, int mib) {
  ASSERT_EQ(run_shell(quoted(std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh") + " " + layout + " " + quoted(path) +
                      " " + std::to_string(mib)),
            0);
}

struct Outcome {
  bool ok = false;
  std::string error;
  std::vector<std::string> after;   // what the file system growth said
  std::vector<std::string> report;  // what the Controller hears with the completion
};

// Feeds the image in copy-block slices; stops (abandoning) after `cut` bytes.
Outcome restore(const std::vector<std::uint8_t>& image, const std::string& target, RestoreOptions options,
                std::size_t cut = SIZE_MAX) {
  std::string error;
  auto disk = DiskDevice::open(target, true, &error);
  if (!disk) return {false, error, {}};
  ImageRestorer restorer(std::move(disk), options);
  for (std::size_t at = 0; at < image.size(); at += 1350) {
    if (at >= cut) {
      restorer.abandon();
      return {false, "cut", {}};
    }
    if (!restorer.consume(std::span(image.data() + at, std::min<std::size_t>(1350, image.size() - at)))) {
      return {false, restorer.error(), {}};
    }
  }
  if (!restorer.finish()) return {false, restorer.error(), {}};
  const std::vector<std::string> report = restorer.done_report();
  return {true, "", restorer.after_done({}).lines, report};
}

// What a shell command prints, its last line break taken off.
std::string output_of(const std::string& command) {
  FILE* p = ::popen(command.c_str(), "r");
  std::string out;
  char line[256];
  while (p && std::fgets(line, sizeof line, p)) out += line;
  if (p) ::pclose(p);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

PartitionTable table_of(const std::string& disk) {
  std::string error;
  const auto d = DiskDevice::open(disk, false, &error);
  EXPECT_TRUE(d) << error;
  auto t = d ? d->partition_table(&error) : std::nullopt;
  EXPECT_TRUE(t) << error;
  return t.value_or(PartitionTable{});
}

// A checker's status on one partition, copied out of its disk.
int check(const std::string& command, const std::string& disk, const Partition& p, const std::string& scratch) {
  run_shell("dd if=" + quoted(disk) + " of=" + quoted(scratch) + " bs=512 skip=" + std::to_string(p.start_lba) +
            " count=" + std::to_string(p.sectors) + " status=none");
  return run_shell(command + " " + quoted(scratch) + " >/dev/null 2>&1");
}

class ClientRestore : public ::testing::Test {
 protected:
  void SetUp() override {
    // Growing a file system in a disk file needs a loop device.
    if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: restores that grow file systems need root (loop devices)";
  }
  test::TempDir dir;
};

TEST_F(ClientRestore, GptDiskRoundTripsByteForByteAndMovesItsBackupToTheEndOfALargerDisk) {
  const std::string source = dir.file("gpt.img");
  make_pc_disk("gpt", source, 64);
  const PartitionTable t = table_of(source);
  ASSERT_EQ(t.kind, TableKind::gpt);
  ASSERT_EQ(t.partitions.size(), 3u);
  // EFI system, basic data holding FAT16, Linux: bytes the Controller can name.
  EXPECT_EQ(t.partitions[0].type, 0xEF);
  EXPECT_EQ(t.partitions[1].type, 0x0E);
  EXPECT_EQ(t.partitions[2].type, 0x83);
  EXPECT_EQ(t.partitions[2].number, 3);
  EXPECT_EQ(t.table_sectors.size(), 67u) << "protective MBR, both headers, both entry arrays";
  const auto image = image_of(source);

  const std::string same = dir.file("same.img");
  ASSERT_TRUE(test::make_virtual_disk(same, 64, ""));
  const Outcome o = restore(image, same, {.keep_partition_size = false, .image_name = "gpt.krn"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_TRUE(o.after.empty()) << "a disk of the source's size grows nothing";
  EXPECT_EQ(run_shell("cmp -s " + quoted(source) + " " + quoted(same)), 0) << "the whole disk, byte for byte";
  EXPECT_EQ(run_shell("sgdisk -v " + quoted(same) + " | grep -q 'No problems found'"), 0);

  // On a larger disk, sizes kept: the backup moves to the new end.
  const std::string larger = dir.file("larger.img");
  ASSERT_TRUE(test::make_virtual_disk(larger, 96, ""));
  ASSERT_TRUE(restore(image, larger, {.keep_partition_size = true, .image_name = "gpt.krn"}).ok);
  EXPECT_EQ(run_shell("sgdisk -v " + quoted(larger) + " | grep -q 'No problems found'"), 0);
  EXPECT_EQ(table_of(larger).partitions, t.partitions);

  // Sizes not kept: partition 3 and its ext4 file system reach the last usable sector.
  ASSERT_TRUE(test::make_virtual_disk(larger, 96, ""));
  const Outcome grown = restore(image, larger, {.keep_partition_size = false, .image_name = "gpt.krn"});
  ASSERT_TRUE(grown.ok) << grown.error;
  ASSERT_FALSE(grown.after.empty());
  EXPECT_NE(grown.after[0].find("grown from 46 MiB to 78 MiB, its file system from 46 MiB to 78 MiB"),
            std::string::npos)
      << testing::PrintToString(grown.after);
  EXPECT_EQ(run_shell("sgdisk -v " + quoted(larger) + " | grep -q 'No problems found'"), 0);
  const Partition p3 = table_of(larger).partitions.at(2);
  EXPECT_EQ(p3.end_lba(), 96u * 2048 - 33) << "the last usable sector is the last of the partition";
  EXPECT_EQ(check("e2fsck -fn", larger, p3, dir.file("check.img")), 0);
  EXPECT_EQ(run_shell("test $(dumpe2fs -h " + quoted(dir.file("check.img")) +
                      " 2>/dev/null | awk '/^Block count/ {print $3}') -ge " + std::to_string(p3.sectors / 2 - 1024)),
            0)
      << "the file system fills the partition";
}

TEST_F(ClientRestore, ARestoreThatBreaksOffLeavesNoTableAndNoFileSystemToBringBack) {
  const std::string source = dir.file("source.img");
  make_pc_disk("mbr-ext4", source, 64);
  const auto image = image_of(source);
  // The target held the same layout and the same files: the usual case from one
  // term to the next, where old and new bytes would mix unnoticed.
  const std::string target = dir.file("target.img");
  ASSERT_EQ(run_shell("cp --sparse=always " + quoted(source) + " " + quoted(target)), 0);
  const Partition ext = table_of(source).partitions.at(1);

  EXPECT_EQ(restore(image, target, {.image_name = "lab.krn"}, image.size() / 2).error, "cut");
  EXPECT_NE(run_shell("sfdisk -d " + quoted(target) + " >/dev/null 2>&1"), 0);
  EXPECT_NE(check("e2fsck -fn", target, ext, dir.file("check.img")), 0);
  EXPECT_NE(check("e2fsck -fy", target, ext, dir.file("check.img")), 0) << "no backup superblock to recover from";
  EXPECT_NE(check("fsck.vfat -n", target, table_of(source).partitions.at(0), dir.file("check.img")), 0);
  DiskSet disks;
  std::string error;
  ASSERT_TRUE(disks.load({target}, &error)) << error;
  EXPECT_EQ(disks.entries()[0].partition_count, 0) << "announced without partitions";
  ASSERT_TRUE(disks.disks()[0].broken_copy);
  EXPECT_EQ(*disks.disks()[0].broken_copy, "lab.krn");
  EXPECT_NE(broken_copy_text(disks.disks()[0]).find("holds a broken-off copy of \"lab.krn\""), std::string::npos);

  // Imaged sector by sector (one area from sector 0 on), the same.
  EXPECT_EQ(restore(image_of(source, {1, true}), target, {.image_name = "whole.krn"}, image.size() / 2).error, "cut");
  EXPECT_NE(run_shell("sfdisk -d " + quoted(target) + " >/dev/null 2>&1"), 0);
  EXPECT_NE(check("e2fsck -fn", target, ext, dir.file("check.img")), 0);
  ASSERT_TRUE(disks.refresh(0, &error)) << error;
  EXPECT_EQ(disks.disks()[0].broken_copy.value_or(""), "whole.krn");

  // A copy that ends whole puts everything back.
  ASSERT_TRUE(restore(image, target, {.image_name = "lab.krn"}).ok);
  EXPECT_EQ(run_shell("cmp -s " + quoted(source) + " " + quoted(target)), 0);
  ASSERT_TRUE(disks.refresh(0, &error)) << error;
  EXPECT_FALSE(disks.disks()[0].broken_copy);
  EXPECT_EQ(disks.entries()[0].partition_count, 2);
}

TEST_F(ClientRestore, TheLastDataPartitionTakesALargerDisksRoomUnlessSizesAreKept) {
  // The last data partition is a logical one, swap after it in the same
  // extended partition: the data partition grows, swap moves along.
  const std::string source = dir.file("mixed.img");
  ASSERT_TRUE(test::make_virtual_disk(source, 64, test::mixed_layout_script()));
  ASSERT_TRUE(test::fill_region(source, 38912ull * 512, kMiB, 4, false));
  const auto image = image_of(source, {0, true});
  const std::string target = dir.file("target.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 80, ""));
  const Outcome kept = restore(image, target, {.keep_partition_size = true});
  ASSERT_TRUE(kept.ok) << kept.error;
  EXPECT_EQ(table_of(target).partitions, table_of(source).partitions);
  EXPECT_EQ(test::read_region(source, 0, 64 * kMiB), test::read_region(target, 0, 64 * kMiB))
      << "sector by sector: the first 64 MiB as on the source";

  const Outcome grown = restore(image, target, {.keep_partition_size = false});
  ASSERT_TRUE(grown.ok) << grown.error;
  const PartitionTable t = table_of(target);
  ASSERT_EQ(t.partitions.size(), 4u);
  constexpr std::uint64_t kAdded = 16 * 2048;
  EXPECT_EQ(t.partitions[2].number, 5);
  EXPECT_EQ(t.partitions[2].sectors, 8192 + kAdded) << "the last data partition takes the room";
  EXPECT_EQ(t.partitions[3].start_lba, 38912 + kAdded) << "swap keeps its size and moves along";
  EXPECT_EQ(t.partitions[3].sectors, 8192u);
  EXPECT_EQ(t.extent, 80u * 2048) << "the extended partition reaches the end";
  EXPECT_EQ(test::read_region(source, 38912ull * 512, kMiB), test::read_region(target, (38912 + kAdded) * 512, kMiB))
      << "the moved partition's bytes, sector by sector, at its new place";
  EXPECT_EQ(run_shell("sfdisk -V " + quoted(target) + " >/dev/null 2>&1"), 0);
  ASSERT_EQ(grown.after.size(), 2u);
  EXPECT_NE(grown.after[0].find("partition 5 (unknown) grown from 4 MiB to 20 MiB; its file system keeps its size"),
            std::string::npos)
      << grown.after[0];

  // FAT: fatresize grows the file system short of the end; the partition gets
  // the whole room, and the volume label stays.
  const std::string fat = dir.file("fat.img");
  make_pc_disk("fat", fat, 64);
  ASSERT_TRUE(test::make_virtual_disk(target, 100, ""));
  const Outcome f = restore(image_of(fat), target, {.keep_partition_size = false});
  ASSERT_TRUE(f.ok) << f.error;
  const Partition p1 = table_of(target).partitions.at(0);
  EXPECT_EQ(p1.end_lba(), 100u * 2048);
  EXPECT_NE(f.after.at(0).find("(FAT16) grown from 63 MiB to 99 MiB, its file system from 63 MiB to 9"),
            std::string::npos)
      << testing::PrintToString(f.after);
  EXPECT_EQ(check("fsck.vfat -n", target, p1, dir.file("check.img")), 0);
  EXPECT_EQ(run_shell("MTOOLS_SKIP_CHECK=1 mlabel -s -i " + quoted(dir.file("check.img")) + " | grep -q PCDATA"), 0);
}

TEST_F(ClientRestore, OnABlockDeviceTheFileSystemGrowsOnThePartitionsOwnDevice) {
  const std::string source = dir.file("pc.img");
  make_pc_disk("mbr-ext4", source, 64);
  const std::string backing = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(backing, 96, ""));
  const std::string device = output_of("losetup -P -f --show " + quoted(backing) + " 2>/dev/null");
  if (device.empty()) GTEST_SKIP() << "SKIPPED: no loop device here";
  const Outcome o = restore(image_of(source), device, {.keep_partition_size = false});
  run_shell("losetup -d " + device);
  ASSERT_TRUE(o.ok) << o.error;
  ASSERT_FALSE(o.after.empty());
  EXPECT_NE(o.after[0].find("grown from 55 MiB to 87 MiB, its file system from 55 MiB to 87 MiB"), std::string::npos)
      << testing::PrintToString(o.after);
  const Partition p2 = table_of(backing).partitions.at(1);
  EXPECT_EQ(p2.end_lba(), 96u * 2048);
  EXPECT_EQ(check("e2fsck -fn", backing, p2, dir.file("check.img")), 0);
}

// The kernel keeps the old table while a partition of it is busy: the growth
// then works through a loop device over the partition's place in the table just
// written, never through the kernel's partition of the same number elsewhere.
TEST_F(ClientRestore, AKernelHoldingTheOldTableIsNotTrustedWithTheGrowth) {
  const std::string source = dir.file("pc.img");
  make_pc_disk("mbr-ext4", source, 64);
  const std::string backing = dir.file("disk.img");
  // The old layout: partition 2 starts 8 MiB before where the image puts it.
  ASSERT_TRUE(test::make_virtual_disk(backing, 96, "label: dos\n2048,4096,83\n6144,,83\n"));
  const std::string device = output_of("losetup -P -f --show " + quoted(backing) + " 2>/dev/null");
  if (device.empty()) GTEST_SKIP() << "SKIPPED: no loop device here";
  // Holding the old partition 2 open makes the kernel refuse the new table.
  ASSERT_EQ(run_shell("for i in $(seq 50); do [ -b " + device + "p2 ] && break; sleep 0.1; done; "
                      "sleep 600 3<" + device + "p2 >/dev/null 2>&1 & echo $! > " + quoted(dir.file("holder"))),
            0);
  const Outcome o = restore(image_of(source), device, {.keep_partition_size = false});
  run_shell("kill $(cat " + quoted(dir.file("holder")) + "); sleep 0.2; losetup -d " + device);
  ASSERT_TRUE(o.ok) << o.error;
  ASSERT_FALSE(o.after.empty());
  EXPECT_NE(o.after[0].find("grown from 55 MiB to 87 MiB, its file system from 55 MiB to 87 MiB"), std::string::npos)
      << testing::PrintToString(o.after);
  const Partition p2 = table_of(backing).partitions.at(1);
  EXPECT_EQ(p2.start_lba, 18432u);
  EXPECT_EQ(check("e2fsck -fn", backing, p2, dir.file("check.img")), 0);
}

// The layout Debian's installer makes (root, then swap in an extended partition
// at the end), and a GPT one with swap at the end, restored onto disks twice the
// size: root takes the room and its ext4 grows, swap moves to the disk's end,
// where the system finds it by its UUID and label; the Controller hears so.
TEST_F(ClientRestore, RootTakesTheRoomAndSwapMovesToTheEndFoundByItsUuid) {
  const auto swap_at = [&](const std::string& disk, std::uint64_t lba) {
    return output_of("blkid -p -o export -O " + std::to_string(lba * 512) + " " + quoted(disk) +
                     " | grep -v '^DEVNAME='");
  };
  for (const std::string layout : {"debian", "gpt-swap"}) {
    SCOPED_TRACE(layout);
    const std::string source = dir.file(layout + ".img"), target = dir.file(layout + "-twice.img");
    make_pc_disk(layout, source, 64);
    ASSERT_TRUE(test::make_virtual_disk(target, 128, ""));
    const PartitionTable before = table_of(source);
    const Outcome o = restore(image_of(source), target, {.keep_partition_size = false});
    ASSERT_TRUE(o.ok) << o.error;
    const PartitionTable t = table_of(target);
    ASSERT_EQ(t.partitions.size(), before.partitions.size());
    const Partition& root = t.partitions[t.partitions.size() - 2];
    const Partition& swap = t.partitions.back();
    const Partition& old_swap = before.partitions.back();
    constexpr std::uint64_t kAdded = 64 * 2048;
    EXPECT_EQ(root.start_lba, before.partitions[t.partitions.size() - 2].start_lba);
    EXPECT_EQ(root.sectors, before.partitions[t.partitions.size() - 2].sectors + kAdded);
    EXPECT_EQ(swap.start_lba, old_swap.start_lba + kAdded);
    EXPECT_EQ(swap.sectors, old_swap.sectors);
    EXPECT_EQ(swap_at(target, swap.start_lba), swap_at(source, old_swap.start_lba)) << "swap: the same UUID and label";
    EXPECT_NE(swap_at(target, swap.start_lba).find("UUID=0d1e2f30-4152-6374-8596-a7b8c9d0e1f2"), std::string::npos);
    EXPECT_EQ(check("e2fsck -fn", target, root, dir.file("check.img")), 0) << "the grown root is damaged";
    ASSERT_FALSE(o.after.empty());
    EXPECT_NE(o.after[0].find("(ext2/3/4) grown from"), std::string::npos) << testing::PrintToString(o.after);
    EXPECT_NE(o.after[0].find("its file system from"), std::string::npos) << testing::PrintToString(o.after);
    ASSERT_EQ(o.report.size(), 2u) << testing::PrintToString(o.report);
    EXPECT_EQ(o.report[0], "partition " + std::to_string(root.number) + " (ext2/3/4) takes the larger disk's room: " +
                               std::to_string(root.sectors / 2048 - 64) + " MiB grown to " +
                               std::to_string(root.sectors / 2048) + " MiB; its file system is grown after the copy");
    EXPECT_EQ(o.report[1], "partition " + std::to_string(swap.number) + " (swap) moved by 64 MiB, to sector " +
                               std::to_string(swap.start_lba) + "; swap made again there with its UUID and label");
  }
  EXPECT_EQ(run_shell("sfdisk -V " + quoted(dir.file("debian-twice.img")) + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(run_shell("sgdisk -v " + quoted(dir.file("gpt-swap-twice.img")) + " | grep -q 'No problems found'"), 0);
}

TEST_F(ClientRestore, AnImageOfTheFirstFormatStillRestores) {
  // Version 1: no area list, one chunk stream per summary partition, the MBR in
  // the table sectors.
  const std::string target = dir.file("target.img");
  ASSERT_TRUE(test::make_virtual_disk(target, 8, ""));
  image::ImageHeader h;
  h.source_sectors = 8 * 2048;
  h.partitions.push_back(image::ImagePartition{1, 0x83, 0x80, false, 2048, 4096});
  image::TableSector mbr;
  mbr.bytes[446] = 0x80;
  mbr.bytes[450] = 0x83;
  mbr.bytes[454 + 1] = 0x08;  // start 2048
  mbr.bytes[458 + 1] = 0x10;  // 4096 sectors
  mbr.bytes[510] = 0x55;
  mbr.bytes[511] = 0xAA;
  h.table_sectors.push_back(mbr);
  std::vector<std::uint8_t> bytes = image::encode_header(h);
  bytes.resize(bytes.size() - image::kAreaEntry);  // no area list
  bytes[12] = 1;
  bytes[36] = 0;
  bytes[16] = static_cast<std::uint8_t>(bytes.size());
  bytes[17] = static_cast<std::uint8_t>(bytes.size() >> 8);
  std::vector<std::uint8_t> data(65536);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13 + 1);
  image::ChunkHead c;
  c.offset = 65536;
  c.raw_length = c.stored_length = 65536;
  c.checksum = ::crc32(0, data.data(), 65536);
  const auto head = image::encode_chunk_head(c);
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), data.begin(), data.end());
  image::ChunkHead end;
  end.partition = image::kEndChunk;
  const auto tail = image::encode_chunk_head(end);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  const auto patch = image::length_patch(bytes.size());
  std::copy(patch.begin(), patch.end(), bytes.begin());

  const Outcome o = restore(bytes, target, {});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(table_of(target).partitions, (std::vector<Partition>{{1, 0x80, 0x83, false, 2048, 4096}}));
  EXPECT_EQ(test::read_region(target, 2048 * 512 + 65536, 65536), data);
  EXPECT_EQ(test::read_region(target, 2048 * 512, 65536), std::vector<std::uint8_t>(65536, 0));
}

TEST_F(ClientRestore, ASmallerDiskIsRefusedBeforeAnythingIsWritten) {
  const std::string source = dir.file("source.img");
  make_pc_disk("mbr-ext4", source, 64);
  const std::string small = dir.file("small.img");
  make_pc_disk("ntfs", small, 48);
  const auto before = test::read_region(small, 0, 48 * kMiB);
  const Outcome o = restore(image_of(source), small, {.keep_partition_size = false});
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.error.find("the image needs 131072 sectors, but the disk has 98304"), std::string::npos) << o.error;
  EXPECT_TRUE(test::read_region(small, 0, 48 * kMiB) == before) << "not a byte written";
}

}  // namespace
}  // namespace kestrelon::client
