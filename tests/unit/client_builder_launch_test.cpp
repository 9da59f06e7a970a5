// What File > ClientBuilder finds: the builder's window beside the Controller and
// the builder program beside it or on the PATH; when one is missing, which one,
// where it was looked for and the package that brings it.
#include "app/client_builder_launch.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/program_exec.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

void make_program(const fs::path& path, bool executable = true) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "#!/bin/sh\n";
  fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

constexpr ClientBuilderPrograms kPrograms{"kestrelon-builder-window", "kestrelon-builder", "kestrelon-builder",
                                          "kestrelon"};

TEST(ClientBuilderLaunch, FindExecutableLooksBesideThisProgramFirstThenAlongThePath) {
  test::TempFolder temp;
  const std::string bin = (temp / "bin").string() + "/";
  const std::string path = (temp / "a").string() + "::" + (temp / "b").string() + ":" + (temp / "c").string();
  EXPECT_EQ(find_executable("tool", bin, path), "");
  make_program(temp / "c" / "tool");
  make_program(temp / "a" / "tool", false);  // not executable: passed over
  fs::create_directories(temp / "b" / "tool");  // a folder of that name: passed over
  EXPECT_EQ(find_executable("tool", bin, path), (temp / "c" / "tool").string());
  make_program(temp / "bin" / "tool");
  EXPECT_EQ(find_executable("tool", bin, path), bin + "tool");
  EXPECT_EQ(find_executable("tool", (temp / "bin").string(), ""), bin + "tool") << "a folder without its separator";
}

TEST(ClientBuilderLaunch, SaysWhichProgramIsMissingWhereItLookedAndWhatToInstall) {
  test::TempFolder temp;
  const std::string bin = (temp / "bin").string() + "/";
  const std::string path = (temp / "usr-bin").string();
  make_program(temp / "bin" / "kestrelon-builder-window");

  const ClientBuilderLaunch no_builder = plan_client_builder_launch(kPrograms, bin, path);
  EXPECT_FALSE(no_builder.ready());
  EXPECT_EQ(no_builder.missing_program, "kestrelon-builder");
  EXPECT_EQ(no_builder.looked_in, bin + " and the folders of the PATH");
  EXPECT_EQ(no_builder.package, "kestrelon-builder");

  make_program(temp / "usr-bin" / "kestrelon-builder");
  const ClientBuilderLaunch ready = plan_client_builder_launch(kPrograms, bin, path);
  ASSERT_TRUE(ready.ready());
  EXPECT_EQ(ready.window_path, bin + "kestrelon-builder-window");

  // The window counts only beside the Controller; one on the PATH may belong to
  // another installation.
  fs::remove(temp / "bin" / "kestrelon-builder-window");
  make_program(temp / "usr-bin" / "kestrelon-builder-window");
  const ClientBuilderLaunch no_window = plan_client_builder_launch(kPrograms, bin, path);
  EXPECT_FALSE(no_window.ready());
  EXPECT_EQ(no_window.missing_program, "kestrelon-builder-window");
  EXPECT_EQ(no_window.looked_in, bin);
  EXPECT_EQ(no_window.package, "kestrelon");
}

}  // namespace
}  // namespace kestrelon
