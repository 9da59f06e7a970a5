// Image file fields: the description, the partition summary and its sums, the
// block addressing, and the files a copy must refuse.
#include "transfer/image_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>

#include "support/image_files.h"

namespace kestrelon {
namespace {

using test::ImageSpec;

class ImageFileTest : public ::testing::Test {
 protected:
  std::string make(const ImageSpec& shape, const std::string& name = "disk.krn") {
    const std::string path = dir.file(name);
    test::write_file(path, test::image_bytes(shape));
    return path;
  }
  test::TempDir dir;
};

TEST_F(ImageFileTest, DescriptionRunsFromByte256ToTheFirstZeroAndNeverPast767) {
  ImageFile f;
  ASSERT_EQ(f.open(make({.description = "Lab image"})), 0);
  EXPECT_EQ(f.description(), "Lab image");

  // No zero between 256 and 767: the text is cut at byte 767 (512 characters).
  auto bytes = test::image_bytes({});
  for (std::size_t i = 256; i < 800; ++i) bytes[i] = 'x';
  test::write_file(dir.file("long.krn"), bytes);
  ASSERT_EQ(f.open(dir.file("long.krn")), 0);
  EXPECT_EQ(f.description(), std::string(512, 'x'));

  EXPECT_EQ(image::description_of(std::vector<std::uint8_t>(300, 'y')), std::string(44, 'y'))
      << "a file that ends inside the description gives what is there";
  EXPECT_EQ(image::description_of(std::vector<std::uint8_t>(256, 'y')), "");
}

TEST_F(ImageFileTest, SummedSizeUsesFullSizesWhenKeepingPartitionSizesAndDataSizesOtherwise) {
  ImageFile f;
  ASSERT_EQ(f.open(make({.partition_count = 3,
                         .full_sectors = {1000, 2000, 4000, 99999},
                         .data_sectors = {10, 20, 40, 99999}})),
            0);
  const SummaryRead read = f.read_summary();
  ASSERT_TRUE(read.summary) << read.error;
  EXPECT_EQ(read.summary->count, 3);
  EXPECT_EQ(read.summary->summed_sectors(true), 7000u) << "only the first n entries count";
  EXPECT_EQ(read.summary->summed_sectors(false), 70u);
}

TEST_F(ImageFileTest, TwelveHugePartitionsDoNotWrapToASmallSum) {
  ImageFile f;
  ASSERT_EQ(f.open(make({.partition_count = 12, .full_sectors = std::vector<std::uint32_t>(12, 0xFFFFFFFFu)})), 0);
  const SummaryRead read = f.read_summary();
  ASSERT_TRUE(read.summary) << read.error;
  EXPECT_EQ(read.summary->summed_sectors(true), 12ull * 0xFFFFFFFFull);
}

TEST_F(ImageFileTest, APartitionCountAbove12IsRefusedWithAMessage) {
  ImageFile f;
  ASSERT_EQ(f.open(make({.partition_count = 13})), 0);
  const SummaryRead read = f.read_summary();
  EXPECT_FALSE(read.summary);
  EXPECT_NE(read.error.find("claims 13 partitions"), std::string::npos) << read.error;
  EXPECT_NE(read.error.find("Nothing was copied"), std::string::npos) << read.error;
}

TEST_F(ImageFileTest, AFileTooShortForTheSummaryIsRefusedWithAMessageAndExactly7344BytesIsRead) {
  ImageFile f;
  ASSERT_EQ(f.open(make({.length = 7343, .partition_count = 1, .full_sectors = {5}})), 0);
  SummaryRead read = f.read_summary();
  EXPECT_FALSE(read.summary);
  EXPECT_NE(read.error.find("too short"), std::string::npos) << read.error;
  EXPECT_NE(read.error.find("7343 bytes"), std::string::npos) << read.error;

  ASSERT_EQ(f.open(make({.length = 7344, .partition_count = 1, .full_sectors = {5}, .data_sectors = {3}})), 0);
  read = f.read_summary();
  ASSERT_TRUE(read.summary) << read.error;
  EXPECT_EQ(read.summary->summed_sectors(false), 3u);

  ASSERT_EQ(f.open(make({.length = 0})), 0);
  EXPECT_FALSE(f.read_summary().summary) << "an empty file is no image";
}

TEST_F(ImageFileTest, BlocksAre1350BytesAndTheLastHoldsTheRest) {
  EXPECT_EQ(image::block_count(0), 0u);
  EXPECT_EQ(image::block_count(1350 * 7), 7u);
  EXPECT_EQ(image::block_count(1350 * 7 + 1), 8u);
  EXPECT_EQ(image::block_offset(3), 4050u);

  const std::string path = dir.file("blocks.krn");
  test::write_pattern_file(path, 1350 * 2 + 1);
  ImageFile f;
  ASSERT_EQ(f.open(path), 0);
  EXPECT_EQ(f.length(), 2701u);
  std::array<std::uint8_t, 1350> block{};
  EXPECT_EQ(f.read_block(1, block), 1350);
  EXPECT_EQ(block[0], test::pattern_byte(1350));
  EXPECT_EQ(block[1349], test::pattern_byte(2699));
  EXPECT_EQ(f.read_block(2, block), 1);
  EXPECT_EQ(block[0], test::pattern_byte(2700));
  EXPECT_EQ(f.read_block(3, block), 0) << "past the end";
}

TEST_F(ImageFileTest, OpeningReportsTheSystemError) {
  ImageFile f;
  EXPECT_EQ(f.open(dir.file("missing.krn")), ENOENT);
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(f.open(dir.path()), EISDIR) << "a folder is not an image file";
  EXPECT_FALSE(f.is_open());
  ASSERT_EQ(f.open(make({}, "named.krn")), 0);
  EXPECT_EQ(f.name(), "named.krn");
}

TEST_F(ImageFileTest, APipeOrADeviceIsRefusedAtOnceNotWaitedOn) {
  const std::string pipe = dir.file("pipe.krn");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ImageFile f;
  auto opening = std::async(std::launch::async, [&] { return f.open(pipe); });
  if (opening.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    // Let the blocked open go, so the test can end and report.
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    opening.wait();
    if (writer >= 0) ::close(writer);
    FAIL() << "opening a pipe waited for a writer";
  }
  EXPECT_EQ(opening.get(), EINVAL);
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(f.open("/dev/null"), EINVAL);
  EXPECT_FALSE(f.is_open());
}

TEST(ImageInformationText, ShowsNameWholeMegabytesAndDescription) {
  EXPECT_EQ(image::information_text("lab.krn", 734003200, "Lab image"),
            "File : lab.krn\r\nFile size : 700Mb\r\n\r\nLab image");
  EXPECT_EQ(image::information_text("a.krn", (1 << 20) - 1, ""), "File : a.krn\r\nFile size : 0Mb\r\n\r\n");
}

}  // namespace
}  // namespace kestrelon
