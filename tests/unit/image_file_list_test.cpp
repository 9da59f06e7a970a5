// The image pane's listing of a folder.
#include "model/image_file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

class ImageFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrelon-images-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  fs::path dir_;
};

TEST_F(ImageFolder, ListsFilesSortedAndSkipsFoldersNamedLikeImages) {
  fs::create_directory(dir_ / "old.krn");
  write("b.krn", "x");
  write("A.krn", "x");
  write("notes.txt", "x");
  const ImageFolderListing listing = list_image_files(dir_.string(), "*.krn");
  EXPECT_TRUE(listing.matched);
  EXPECT_EQ(listing.files, (std::vector<std::string>{"A.krn", "b.krn"}));
}

TEST_F(ImageFolder, PatternIgnoresCaseAndNeedsTheWholeName) {
  write("UPPER.KRN", "x");
  write("disk.krn.bak", "x");
  write("krn", "x");
  EXPECT_EQ(list_image_files(dir_.string(), "*.krn").files, (std::vector<std::string>{"UPPER.KRN"}));
}

TEST_F(ImageFolder, OnlyAFolderMatchingStillCountsAsAMatchButListsNothing) {
  fs::create_directory(dir_ / "old.krn");
  const ImageFolderListing listing = list_image_files(dir_.string(), "*.krn");
  EXPECT_TRUE(listing.matched);
  EXPECT_TRUE(listing.files.empty());
  EXPECT_FALSE(list_image_files((dir_ / "missing").string(), "*.krn").matched);
}

TEST_F(ImageFolder, LinkToAFileIsListedDanglingLinkIsNot) {
  write("real.krn", "x");
  fs::create_symlink(dir_ / "real.krn", dir_ / "link.krn");
  fs::create_symlink(dir_ / "gone", dir_ / "dangling.krn");
  EXPECT_EQ(list_image_files(dir_.string(), "*.krn").files, (std::vector<std::string>{"link.krn", "real.krn"}));
}

TEST_F(ImageFolder, PipesAndDevicesNamedLikeImagesAreNotListed) {
  write("real.krn", "x");
  ASSERT_EQ(::mkfifo((dir_ / "pipe.krn").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", dir_ / "device.krn");
  const ImageFolderListing listing = list_image_files(dir_.string(), "*.krn");
  EXPECT_TRUE(listing.matched);
  EXPECT_EQ(listing.files, std::vector<std::string>{"real.krn"});
}

TEST(ImageListOrder, CaseBlindThenByBytes) {
  EXPECT_TRUE(image_list_before("A.krn", "b.krn"));
  EXPECT_TRUE(image_list_before("a.krn", "B.krn"));
  EXPECT_TRUE(image_list_before("A.krn", "a.krn"));
  EXPECT_FALSE(image_list_before("a.krn", "a.krn"));
  EXPECT_TRUE(image_list_before("disk.krn", "disk1.krn"));
}

TEST(ImagePath, OneSeparatorBetweenFolderAndName) {
  EXPECT_EQ(image_file_path("/srv/images", "a.krn"), "/srv/images/a.krn");
  EXPECT_EQ(image_file_path("/", "a.krn"), "/a.krn");
}

TEST(DescriptionText, OldCodePageBytesBecomeUtf8) {
  EXPECT_EQ(description_to_utf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(description_to_utf8("Caf\xC3\xA9"), "Caf\xC3\xA9");
  EXPECT_EQ(description_to_utf8("cut \xC3"), "cut \xC3\x83");
}

}  // namespace
}  // namespace kestrelon
