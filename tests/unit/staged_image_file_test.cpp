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

}  // namespace
}  // namespace kestrelon

namespace kestrelon {
namespace {

TEST(StagedImageFile, LeftoversThatNobodyWritesAreNamedAndNothingElse) {
  test::TempFolder folder;
  for (const char* name : {"old.krn.part", "old.KRN.2.part", "notes.part", "lab.krn"}) {
    std::ofstream(folder / name) << "x";
  }
  // A Create running now (another program's) holds its file.
  std::ofstream(folder / "busy.krn.part") << "x";
  const int busy = ::open((folder / "busy.krn.part").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(busy, LOCK_EX), 0);

  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open((folder / "lab.krn").string(), writer), 0);
  EXPECT_EQ(staged.stale_files(), (std::vector<std::string>{(folder / "old.KRN.2.part").string(),
                                                            (folder / "old.krn.part").string()}));
  const std::string text = StagedImageFile::stale_text(staged.stale_files());
  EXPECT_NE(text.find((folder / "old.krn.part").string()), std::string::npos) << text;
  EXPECT_TRUE(StagedImageFile::stale_text({}).empty());

  // The next Create sees this one's file as busy while it is written.
  StagedImageFile second;
  BufferedFileWriter second_writer;
  ASSERT_EQ(second.open((folder / "other.krn").string(), second_writer), 0);
  EXPECT_EQ(second.stale_files().size(), 2u) << "neither this Create's file nor the busy one";
  ::close(busy);
}

TEST(StagedImageFile, TheRenameNeverReplacesAFileThatAppearedMeanwhile) {
  test::TempFolder folder;
  const fs::path chosen = folder / "lab.krn";
  {
    StagedImageFile staged;
    BufferedFileWriter writer;
    ASSERT_EQ(staged.open(chosen.string(), writer), 0);
    write(writer, "new image");
    std::ofstream(chosen) << "appeared during the upload";
    EXPECT_EQ(staged.commit(), EEXIST);
    EXPECT_EQ(text_of(chosen), "appeared during the upload");
    EXPECT_EQ(text_of(folder / "lab.krn.part"), "new image") << "the upload is kept";
    EXPECT_NE(staged.commit_failure_text(EEXIST).find((folder / "lab.krn.part").string()), std::string::npos);
  }
  EXPECT_EQ(text_of(folder / "lab.krn.part"), "new image") << "and stays after the Create";
  fs::remove(folder / "lab.krn.part");

  // The file the user chose to overwrite, replaced by another meanwhile.
  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open(chosen.string(), writer), 0);
  write(writer, "newer image");
  fs::remove(chosen);
  std::ofstream(chosen) << "someone else's";
  EXPECT_EQ(staged.commit(), EEXIST);
  EXPECT_EQ(text_of(chosen), "someone else's");
}

TEST(StagedImageFile, AnImageIsPrivateLessWhatTheUmaskTakesAndHoldsAPartitionSummary) {
  test::TempFolder folder;
  const mode_t saved = ::umask(077);
  StagedImageFile staged;
  BufferedFileWriter writer;
  ASSERT_EQ(staged.open((folder / "a.krn").string(), writer), 0);
  ::umask(saved);
  EXPECT_EQ(fs::status(staged.temporary_path()).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  write(writer, std::string(7343, '\0'));
  EXPECT_FALSE(staged.holds_partition_summary()) << "one byte short of the summary";
  std::string image(7344, '\0');
  image[5513] = 13;
  ASSERT_EQ(writer.open(staged.temporary_path()), 0);
  write(writer, image);
  EXPECT_FALSE(staged.holds_partition_summary()) << "13 partitions";
  image[5513] = 2;
  ASSERT_EQ(writer.open(staged.temporary_path()), 0);
  write(writer, image);
  EXPECT_TRUE(staged.holds_partition_summary());
}

}  // namespace
}  // namespace kestrelon
