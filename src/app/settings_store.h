#pragma once
// The program's persistent settings: text values by section and name, kept in an
// INI file under the user's configuration folder ($XDG_CONFIG_HOME/kestrelon, or
// ~/.config/kestrelon; $KESTRELON_SETTINGS_DIR names another folder). Each file
// version of the program has sections of its own, "Kestrelon\2.11\Settings" for
// the section "Settings", so a new version starts with fresh settings.
//
// Values are stored and read back byte for byte. Failures are never shown: a read
// that fails falls back to its default, a write that fails is lost.
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrelon {

class SettingsStore {
 public:
  // A value longer than this counts as missing when read.
  static constexpr std::size_t kMaxValueBytes = 259;
  static constexpr const char* kFileName = "settings.ini";

  SettingsStore(std::filesystem::path folder, std::string file_version);
  // The folder chosen by the environment; empty when no home folder is known
  // (reads then fail and writes are lost).
  static std::filesystem::path default_folder();

  // 0 on success, else an errno value (ENOENT: missing; E2BIG: too long). On
  // failure `text` becomes `default_text` when that is not empty, and is left as it
  // was otherwise.
  int read_setting(std::string_view section, std::string_view name, std::string& text,
                   std::string_view default_text) const;
  // 0 on success, else an errno value (EINVAL: a line break or NUL in the text).
  int write_setting(std::string_view section, std::string_view name, std::string_view text);

  std::filesystem::path file() const { return folder_.empty() ? std::filesystem::path() : folder_ / kFileName; }
  std::string section_key(std::string_view section) const;

 private:
  std::filesystem::path folder_;
  std::string file_version_;
};

}  // namespace kestrelon
