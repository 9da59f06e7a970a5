// The temporary file a Create writes into, and how it takes the chosen name.
#include "commands/staged_image_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <vector>

#include "support/temp_folder.h"

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

std::string text_of(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write(BufferedFileWriter& writer, const std::string& text) {
  ASSERT_EQ(writer.write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0);
  ASSERT_EQ(writer.close(), 0);
}

TEST(StagedImageFile, ReplacesAnEarlierImageOnlyWhenCommitted) {
  test::TempFolder folder;
  const fs::path chosen = folder / "lab.krn";
  { std::ofstream(chosen) << "earlier"; }
  // A leftover of a run that never ended is not reused.
  { std::ofstream(folder / "lab.krn.part") << "leftover"; }

  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open(chosen.string(), writer), 0);
  EXPECT_EQ(staged.temporary_path(), (folder / "lab.krn.1.part").string());
  write(writer, "new image");
  EXPECT_EQ(text_of(chosen), "earlier") << "untouched while the upload runs";
  EXPECT_EQ(text_of(folder / "lab.krn.part"), "leftover");

  ASSERT_EQ(staged.commit(), 0);
  EXPECT_EQ(text_of(chosen), "new image");
  EXPECT_FALSE(fs::exists(folder / "lab.krn.1.part"));
  EXPECT_EQ(fs::status(chosen).permissions() & (fs::perms::others_all | fs::perms::group_write), fs::perms::none)
      << "private to its owner and group until the administrator shares it";
}

TEST(StagedImageFile, NotCommittedLeavesNothingAndAFailedCommitKeepsTheChosenName) {
  test::TempFolder folder;
  const fs::path chosen = folder / "lab.krn";
  {
    StagedImageFile staged;
    BufferedFileWriter writer;
    ASSERT_EQ(staged.open(chosen.string(), writer), 0);
    write(writer, "half an image");
  }
  EXPECT_TRUE(fs::is_empty(folder.path())) << "gone with the object";

  // A folder of that name cannot be replaced by a file.
  fs::create_directories(chosen / "inside");
  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open(chosen.string(), writer), 0);
  write(writer, "new image");
  EXPECT_NE(staged.commit(), 0);
  EXPECT_TRUE(fs::is_directory(chosen / "inside"));
  EXPECT_FALSE(fs::exists(folder / "lab.krn.part"));

  EXPECT_EQ(staged.open((folder / "missing" / "x.krn").string(), writer), ENOENT);
}

// Leftovers of Creates that nobody writes any more are named; a file in use is
// not, nor this Create's own.
TEST(StagedImageFile, LeftoversThatNobodyWritesAreNamed) {
  test::TempFolder folder;
  for (const char* name : {"old.krn.part", "old.KRN.2.part", "notes.part", "lab.krn", "busy.krn.part"}) {
    std::ofstream(folder / name) << "x";
  }
  const int busy = ::open((folder / "busy.krn.part").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(busy, LOCK_EX), 0);
  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open((folder / "lab.krn").string(), writer), 0);
  const std::vector<std::string> stale{(folder / "old.KRN.2.part").string(), (folder / "old.krn.part").string()};
  EXPECT_EQ(staged.stale_files(), stale);
  EXPECT_NE(StagedImageFile::stale_text(stale).find(stale[1]), std::string::npos);
  StagedImageFile second;
  ASSERT_EQ(second.open((folder / "other.krn").string(), writer), 0);
  EXPECT_EQ(second.stale_files(), stale);
  ::close(busy);
}

// A file that appears at the chosen name during the upload, or takes the place of
// the one the user chose to overwrite, stays; the image takes the next free name.
TEST(StagedImageFile, TheRenameNeverReplacesAFileThatAppearedMeanwhile) {
  test::TempFolder folder;
  const fs::path chosen = folder / "lab.krn";
  for (const bool existed : {false, true}) {
    if (existed) std::ofstream(chosen) << "the user's";
    StagedImageFile staged;
    BufferedFileWriter writer;
    ASSERT_EQ(staged.open(chosen.string(), writer), 0);
    write(writer, "new image");
    std::ofstream(folder / "theirs") << "someone else's";
    fs::rename(folder / "theirs", chosen);
    ASSERT_EQ(staged.commit(), 0);
    EXPECT_EQ(text_of(chosen), "someone else's");
    EXPECT_EQ(staged.final_path(), (folder / "lab.1.krn").string());
    EXPECT_EQ(text_of(staged.final_path()), "new image");
    EXPECT_NE(staged.renamed_text().find(staged.final_path()), std::string::npos);
    fs::remove(staged.final_path());
  }
}

TEST(StagedImageFile, AnImageIsPrivateLessTheUmaskAndMustHoldAPartitionSummary) {
  test::TempFolder folder;
  const mode_t saved = ::umask(077);
  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open((folder / "a.krn").string(), writer), 0);
  ::umask(saved);
  EXPECT_EQ(fs::status(staged.temporary_path()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  std::string image(7344, '\0');
  for (const auto& [length, count, holds] : {std::tuple{7343, 2, false}, {7344, 13, false}, {7344, 2, true}}) {
    image.resize(static_cast<std::size_t>(length));
    image[5513] = static_cast<char>(count);
    ASSERT_EQ(writer.open(staged.temporary_path()), 0);
    write(writer, image);
    EXPECT_EQ(staged.holds_partition_summary(), holds) << length << " bytes, " << count << " partitions";
  }
}

}  // namespace
}  // namespace kestrelon
