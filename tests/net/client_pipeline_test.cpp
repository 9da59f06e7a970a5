// The parts of the pipelined upload that need no network: an image packed on
// several threads has exactly the bytes of one packed on a single thread (MBR
// and GPT disks, every area), its chunks are zstd's (or zlib's when asked) and it
// restores byte for byte; and the upload window grows while blocks are taken and
// shrinks when they are lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "client_disk_checks.h"
#include "image_builder.h"
#include "upload_window.h"

namespace kestrelon::client {
namespace {

struct Built {
  std::vector<std::uint8_t> bytes;
  std::uint64_t read = 0, total = 0;
  image::ImageHeader header;
};

Built build_image(const std::string& disk, BuildRequest request) {
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(disk, false, &error), request, &error);
  EXPECT_TRUE(builder) << error;
  Built b;
  if (!builder) return b;
  while (builder->next(b.bytes)) {
  }
  EXPECT_FALSE(builder->failed()) << builder->error();
  EXPECT_EQ(builder->produced(), b.bytes.size());
  b.read = builder->read_bytes();
  b.total = builder->total_bytes();
  b.header = builder->header();
  return b;
}

struct Case {
  int level;
  bool sector_by_sector;
  image::ChunkMethod method = image::kZstd;
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << "level " << c.level << (c.sector_by_sector ? ", sector by sector" : "")
      << (c.method == image::kZlib ? ", zlib" : "");
}

class ParallelImage : public ::testing::TestWithParam<Case> {
 protected:
  // An MBR disk with logical partitions and bytes in the boot loader's room,
  // and a GPT disk with three file systems; made once for every level.
  static void SetUpTestSuite() {
    disks_ = new test::TempDir;
    fill_mixed_disk(mbr());
    ASSERT_TRUE(test::fill_region(mbr(), 1000 * 512, 4096, 7, false));
    ASSERT_EQ(test::run_shell("'" + std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh' gpt '" + gpt() + "' 48"), 0);
  }
  static void TearDownTestSuite() {
    delete disks_;
    disks_ = nullptr;
  }
  static std::string mbr() { return disks_->file("mixed.img"); }
  static std::string gpt() { return disks_->file("gpt.img"); }

  // A disk's image on one thread, then on 2 and 5: the same bytes, compressed
  // by the method asked for, and the disk again when restored.
  void expect_same_bytes_whatever_the_workers(const std::string& disk) {
    const Case c = GetParam();
    const Built single = build_image(disk, BuildRequest{c.level, c.sector_by_sector, 1, c.method});
    ASSERT_GT(single.bytes.size(), image::kTableAreaOffset);
    EXPECT_EQ(single.header.version, image::kFormatVersion);
    std::uint64_t areas = 0;
    for (const image::Area& a : single.header.areas) areas += a.sectors * 512;
    EXPECT_EQ(single.read, areas) << "every area is read whole";
    EXPECT_EQ(single.total, areas);
    const auto methods = chunks_of(single.bytes).methods();
    EXPECT_GT(methods[c.method], 0) << "chunks compressed by the method asked for";
    EXPECT_EQ(methods[c.method == image::kZstd ? image::kZlib : image::kZstd], 0) << "and by no other";
    const std::string target = disks_->file("restored.img");
    const std::uint64_t mib = std::filesystem::file_size(disk) / kMiB;  // a GPT's backup stays in place
    ASSERT_TRUE(test::make_virtual_disk(target, mib, ""));
    ASSERT_TRUE(test::fill_region(target, 0, mib * kMiB, 12, false));
    ASSERT_EQ(restore_image(single.bytes, target), "");
    expect_same_disks(disk, target);
    for (const int threads : {2, 5}) {
      const Built many = build_image(disk, BuildRequest{c.level, c.sector_by_sector, threads, c.method});
      EXPECT_EQ(many.read, single.read);
      ASSERT_EQ(many.bytes.size(), single.bytes.size()) << threads << " threads";
      EXPECT_TRUE(many.bytes == single.bytes) << threads << " threads: the bytes differ";
    }
  }
  static test::TempDir* disks_;
};
test::TempDir* ParallelImage::disks_ = nullptr;

TEST_P(ParallelImage, BytesAreThoseOfOneThreadWhateverTheWorkers) {
  expect_same_bytes_whatever_the_workers(mbr());
  expect_same_bytes_whatever_the_workers(gpt());
  std::string error;
  const auto table = DiskDevice::open(gpt(), false, &error)->partition_table(&error);
  ASSERT_TRUE(table) << error;
  EXPECT_EQ(table->kind, TableKind::gpt);
}

INSTANTIATE_TEST_SUITE_P(Levels, ParallelImage,
                         ::testing::Values(Case{1, false}, Case{5, false}, Case{9, false}, Case{9, true},
                                           Case{9, false, image::kZlib}),
                         [](const ::testing::TestParamInfo<Case>& p) {
                           return "Level" + std::to_string(p.param.level) +
                                  (p.param.sector_by_sector ? "SectorBySector" : "UsedData") +
                                  (p.param.method == image::kZlib ? "Zlib" : "");
                         });

TEST(UploadWindow, DoublesUntilALossThenGrowsSlowlyHalvesAndStartsSmallAfterSilence) {
  UploadWindow w(128);
  EXPECT_EQ(w.size(), 16u);
  w.taken(16);  // a round trip
  EXPECT_EQ(w.size(), 32u);
  w.taken(32);
  w.taken(64);
  EXPECT_EQ(w.size(), 128u) << "never above the largest";
  w.lost();
  EXPECT_EQ(w.size(), 64u);
  w.taken(64);  // a round trip at 64 now adds one block
  EXPECT_EQ(w.size(), 65u);
  for (int i = 0; i < 5; ++i) w.lost();
  EXPECT_EQ(w.size(), 8u) << "halving stops at the smallest window";
  w.taken(8);
  EXPECT_EQ(w.size(), 9u);
  w.timed_out();
  EXPECT_EQ(w.size(), 8u);

  UploadWindow stop_and_wait(1);
  stop_and_wait.taken(100);
  stop_and_wait.lost();
  stop_and_wait.timed_out();
  EXPECT_EQ(stop_and_wait.size(), 1u) << "stop-and-wait keeps one block in flight";
}

}  // namespace
}  // namespace kestrelon::client
