#pragma once
// The values the program keeps in the section "Settings", with their defaults and
// text forms: numbers are written with "%d" and read back with the decimal
// conversion of the command line.
#include <string>

#include "app/settings_store.h"

namespace kestrelon {

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kSettingPath = "Path";
inline constexpr const char* kSettingKeepPartitionSize = "KeepPartitionSize";
inline constexpr const char* kSettingSid = "SID";
inline constexpr const char* kSettingDisabledInterfaces = "DisabledInterfaces";

struct ProgramSettings {
  std::string path;                // the image folder; empty: the current folder
  int keep_partition_size = 0;     // "Keep partition size", 0 or 1
  int unique_sid = 1;              // "Create Unique NT SID", 0 or 1
  std::string disabled_interfaces; // "%03d.%03d.%03d.%03d;" per switched-off interface
};

ProgramSettings read_program_settings(const SettingsStore& store);
std::string read_disabled_interfaces(const SettingsStore& store);

void write_image_folder(SettingsStore& store, const std::string& path);
void write_transfer_options(SettingsStore& store, int keep_partition_size, int unique_sid);
void write_disabled_interfaces(SettingsStore& store, const std::string& text);

}  // namespace kestrelon
