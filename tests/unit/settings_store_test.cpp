// The settings file: defaults, text forms, file versions and silent failures.
#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "app/program_settings.h"
#include "app/text_file.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  test::TempFolder temp;
  SettingsStore store{temp / "config", "2.11"};
};

TEST_F(SettingsTest, FirstRunYieldsTheDefaults) {
  const ProgramSettings s = read_program_settings(store);
  EXPECT_EQ(s.path, "");
  EXPECT_EQ(s.keep_partition_size, 0);
  EXPECT_EQ(s.unique_sid, 1);
  EXPECT_EQ(s.disabled_interfaces, "");
  EXPECT_FALSE(std::filesystem::exists(store.file()));  // reading creates nothing
}

TEST_F(SettingsTest, ValuesRoundTripInTheirTextForms) {
  write_image_folder(store, "/srv/images with spaces/");
  write_transfer_options(store, 1, 0);
  write_disabled_interfaces(store, "010.000.000.005;192.168.001.010;");
  const ProgramSettings s = read_program_settings(store);
  EXPECT_EQ(s.path, "/srv/images with spaces/");
  EXPECT_EQ(s.keep_partition_size, 1);
  EXPECT_EQ(s.unique_sid, 0);
  EXPECT_EQ(s.disabled_interfaces, "010.000.000.005;192.168.001.010;");
  const auto text = read_text_file(store.file());
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("[Kestrelon\\2.11\\Settings]\n"), std::string::npos);
  EXPECT_NE(text->find("KeepPartitionSize=1\n"), std::string::npos);
}

TEST_F(SettingsTest, EmptyTextIsStoredAndReadsBackEmpty) {
  write_disabled_interfaces(store, "010.000.000.005;");
  write_disabled_interfaces(store, "");
  std::string text = "before";
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingDisabledInterfaces, text, ""), 0);
  EXPECT_EQ(text, "");
}

TEST_F(SettingsTest, ValuesKeepSurroundingBlanks) {
  ASSERT_EQ(store.write_setting(kSettingsSection, kSettingPath, "  /x  "), 0);
  std::string text;
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingPath, text, ""), 0);
  EXPECT_EQ(text, "  /x  ");
}

TEST_F(SettingsTest, AnotherFileVersionStartsFresh) {
  write_transfer_options(store, 1, 0);
  SettingsStore next(temp / "config", "2.12");
  const ProgramSettings s = read_program_settings(next);
  EXPECT_EQ(s.keep_partition_size, 0);
  EXPECT_EQ(s.unique_sid, 1);
  write_transfer_options(next, 0, 0);
  EXPECT_EQ(read_program_settings(store).keep_partition_size, 1);  // the old version's values stay
}

TEST_F(SettingsTest, FailedReadFallsBackOnlyToANonEmptyDefault) {
  std::string text = "unchanged";
  EXPECT_EQ(store.read_setting(kSettingsSection, "Missing", text, ""), ENOENT);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(store.read_setting(kSettingsSection, "Missing", text, "dflt"), ENOENT);
  EXPECT_EQ(text, "dflt");
}

TEST_F(SettingsTest, ValueOver259BytesCountsAsMissing) {
  ASSERT_EQ(store.write_setting(kSettingsSection, kSettingSid, std::string(260, '1')), 0);
  std::string text;
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingSid, text, "1"), E2BIG);
  EXPECT_EQ(text, "1");
  ASSERT_EQ(store.write_setting(kSettingsSection, kSettingPath, std::string(259, 'p')), 0);
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingPath, text, ""), 0);
  EXPECT_EQ(text.size(), 259u);
}

TEST_F(SettingsTest, UnwritableTextIsRefusedAndTheFileKept) {
  write_image_folder(store, "/keep");
  EXPECT_EQ(store.write_setting(kSettingsSection, kSettingPath, "two\nlines"), EINVAL);
  EXPECT_EQ(read_program_settings(store).path, "/keep");
}

TEST_F(SettingsTest, WritesFailSilentlyWhereNoFolderCanBeMade) {
  { std::ofstream(temp / "blocker") << "a file, not a folder"; }
  SettingsStore blocked(temp / "blocker" / "kestrelon", "2.11");
  write_image_folder(blocked, "/lost");  // no exception, nothing shown
  EXPECT_NE(blocked.write_setting(kSettingsSection, kSettingPath, "/lost"), 0);
  EXPECT_EQ(read_program_settings(blocked).path, "");
}

TEST(SettingsFolder, EnvironmentChoosesTheFolder) {
  const char* saved = std::getenv("KESTRELON_SETTINGS_DIR");
  const std::string saved_value = saved ? saved : "";
  setenv("KESTRELON_SETTINGS_DIR", "/tmp/elsewhere", 1);
  EXPECT_EQ(SettingsStore::default_folder(), "/tmp/elsewhere");
  unsetenv("KESTRELON_SETTINGS_DIR");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) {
    EXPECT_EQ(SettingsStore::default_folder(), std::filesystem::path(xdg) / "kestrelon");
  }
  if (saved) setenv("KESTRELON_SETTINGS_DIR", saved_value.c_str(), 1);
}

}  // namespace
}  // namespace kestrelon
