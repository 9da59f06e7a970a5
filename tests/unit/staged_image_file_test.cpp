// The temporary file a Create writes into, and how it takes the chosen name.
#include "commands/staged_image_file.h"

#include <gtest/gtest.h>

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
