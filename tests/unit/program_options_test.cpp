// The options that travel with every transfer: where they start, what is stored
// and the flags they give.
#include "app/program_options.h"

#include <gtest/gtest.h>

#include "app/program_settings.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

TEST(ProgramOptions, StartFromTheSettingsWithSectorBySectorAlwaysOff) {
  test::TempFolder folder;
  SettingsStore store(folder.path(), "2.11");
  EXPECT_EQ(ProgramOptions::from_settings(store),
            (ProgramOptions{.keep_partition_size = false, .unique_sid = true, .sector_by_sector = false}))
      << "a first run: keep off, SID on";

  ProgramOptions chosen{.keep_partition_size = true, .unique_sid = false, .sector_by_sector = true};
  chosen.store(store);
  EXPECT_EQ(ProgramOptions::from_settings(store),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = false, .sector_by_sector = false}))
      << "sector-by-sector is never stored";
  std::string text;
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingKeepPartitionSize, text, ""), 0);
  EXPECT_EQ(text, "1");
  EXPECT_EQ(store.read_setting(kSettingsSection, kSettingSid, text, ""), 0);
  EXPECT_EQ(text, "0");

  // Values another program wrote are read with the decimal conversion.
  store.write_setting(kSettingsSection, kSettingKeepPartitionSize, "7 days");
  store.write_setting(kSettingsSection, kSettingSid, "");
  EXPECT_EQ(ProgramOptions::from_settings(store),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = false, .sector_by_sector = false}));
}

}  // namespace
}  // namespace kestrelon
