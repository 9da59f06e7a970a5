#include "app/program_settings.h"

#include "model/decimal_text.h"

namespace kestrelon {

std::string read_disabled_interfaces(const SettingsStore& store) {
  std::string text;
  store.read_setting(kSettingsSection, kSettingDisabledInterfaces, text, "");
  return text;
}

ProgramSettings read_program_settings(const SettingsStore& store) {
  ProgramSettings s;
  store.read_setting(kSettingsSection, kSettingPath, s.path, "");
  std::string keep;
  store.read_setting(kSettingsSection, kSettingKeepPartitionSize, keep, "");
  s.keep_partition_size = decimal_value(keep);
  std::string sid;
  store.read_setting(kSettingsSection, kSettingSid, sid, "1");
  s.unique_sid = decimal_value(sid);
  s.disabled_interfaces = read_disabled_interfaces(store);
  return s;
}

void write_image_folder(SettingsStore& store, const std::string& path) {
  store.write_setting(kSettingsSection, kSettingPath, path);
}

void write_transfer_options(SettingsStore& store, int keep_partition_size, int unique_sid) {
  store.write_setting(kSettingsSection, kSettingKeepPartitionSize, std::to_string(keep_partition_size));
  store.write_setting(kSettingsSection, kSettingSid, std::to_string(unique_sid));
}

void write_disabled_interfaces(SettingsStore& store, const std::string& text) {
  store.write_setting(kSettingsSection, kSettingDisabledInterfaces, text);
}

}  // namespace kestrelon
