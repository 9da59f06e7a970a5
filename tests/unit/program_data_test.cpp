// Finding the program's read-only data: beside the program in a build tree, else
// in the data folder of the prefix it is installed under.
#include "platform/program_data.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

class ProgramDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kestrelon-data-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(bin_());
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path bin_() const { return root_ / "bin"; }
  fs::path root_;
};

TEST_F(ProgramDataTest, InstalledDataFolderLiesUnderThePrefixBesideBin) {
  const fs::path installed = installed_data_folder(bin_());
  // The programs' folder as the running program names it ends with a separator.
  EXPECT_EQ(installed_data_folder(bin_() / ""), installed);
  EXPECT_EQ(installed, installed.lexically_normal());
  const std::string text = installed.string();
  EXPECT_EQ(text.rfind(root_.string() + "/", 0), 0u) << text;
  EXPECT_NE(text.rfind(bin_().string() + "/", 0), 0u) << text;
}

TEST_F(ProgramDataTest, BesideTheProgramComesFirstThenTheInstalledFolderElseNothing) {
  EXPECT_EQ(find_program_data("help", bin_()), std::nullopt);

  const fs::path installed = installed_data_folder(bin_()) / "help";
  fs::create_directories(installed);
  EXPECT_EQ(find_program_data("help", bin_() / ""), installed);
  // Another name is not taken for it.
  EXPECT_EQ(find_program_data("helpers", bin_()), std::nullopt);

  fs::create_directories(bin_() / "help");
  EXPECT_EQ(find_program_data("help", bin_()), bin_() / "help");

  // A file is found as a folder is.
  std::ofstream(installed / "kestrelon.hhp") << "[OPTIONS]\n";
  EXPECT_EQ(find_program_data("help/kestrelon.hhp", bin_()), installed / "kestrelon.hhp");
}

}  // namespace
}  // namespace kestrelon
