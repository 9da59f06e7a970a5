// The parts of the pipelined upload that need no network: an image packed on
// several threads has exactly the bytes of one packed on a single thread, and
// the upload window grows while blocks are taken and shrinks when they are lost.
#include <gtest/gtest.h>

#include <ostream>

#include "client_disk_checks.h"
#include "image_builder.h"
#include "upload_window.h"

namespace kestrelon::client {
namespace {

std::vector<std::uint8_t> build_image(const std::string& disk, BuildRequest request, std::uint64_t* read = nullptr) {
  std::string error;
  auto builder = ImageBuilder::open(DiskDevice::open(disk, false, &error), request, &error);
  EXPECT_TRUE(builder) << error;
  std::vector<std::uint8_t> image;
  if (!builder) return image;
  while (builder->next(image)) {
  }
  EXPECT_FALSE(builder->failed()) << builder->error();
  EXPECT_EQ(builder->produced(), image.size());
  if (read) *read = builder->read_bytes();
  return image;
}

struct Case {
  int level;
  bool sector_by_sector;
};
void PrintTo(const Case& c, std::ostream* os) {
  *os << "level " << c.level << (c.sector_by_sector ? ", sector by sector" : "");
}

class ParallelImage : public ::testing::TestWithParam<Case> {
 protected:
  test::TempDir dir;
};

TEST_P(ParallelImage, BytesAreThoseOfOneThreadWhateverTheWorkers) {
  const std::string disk = dir.file("mixed.img");
  fill_mixed_disk(disk);
  const Case c = GetParam();
  std::uint64_t read_single = 0;
  const auto single = build_image(disk, BuildRequest{c.level, c.sector_by_sector, 1}, &read_single);
  ASSERT_GT(single.size(), image::kTableAreaOffset);
  EXPECT_EQ(read_single, (16384u + 3 * 8192) * 512u) << "every partition byte is read";
  for (const int threads : {2, 5}) {
    std::uint64_t read = 0;
    const auto many = build_image(disk, BuildRequest{c.level, c.sector_by_sector, threads}, &read);
    EXPECT_EQ(read, read_single);
    ASSERT_EQ(many.size(), single.size()) << threads << " threads";
    EXPECT_TRUE(many == single) << threads << " threads: the bytes differ";
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ParallelImage,
                         ::testing::Values(Case{1, false}, Case{5, false}, Case{9, false}, Case{9, true}),
                         [](const ::testing::TestParamInfo<Case>& p) {
                           return "Level" + std::to_string(p.param.level) +
                                  (p.param.sector_by_sector ? "SectorBySector" : "UsedData");
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
