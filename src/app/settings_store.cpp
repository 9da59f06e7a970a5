#include "app/settings_store.h"

#include <cerrno>
#include <cstdlib>

#include "app/ini_document.h"
#include "app/text_file.h"

namespace kestrelon {

SettingsStore::SettingsStore(std::filesystem::path folder, std::string file_version)
    : folder_(std::move(folder)), file_version_(std::move(file_version)) {}

std::filesystem::path SettingsStore::default_folder() {
  if (const char* dir = std::getenv("KESTRELON_SETTINGS_DIR"); dir && *dir) return dir;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    return std::filesystem::path(config) / "kestrelon";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".config" / "kestrelon";
  }
  return {};
}

std::string SettingsStore::section_key(std::string_view section) const {
  return "Kestrelon\\" + file_version_ + "\\" + std::string(section);
}

int SettingsStore::read_setting(std::string_view section, std::string_view name, std::string& text,
                                std::string_view default_text) const {
  const auto fail = [&](int error) {
    if (!default_text.empty()) text = default_text;
    return error;
  };
  if (folder_.empty()) return fail(ENOENT);
  int error = 0;
  const std::optional<std::string> contents = read_text_file(file(), &error);
  if (!contents) return fail(error);
  const IniDocument doc = IniDocument::parse(*contents, IniDocument::ValueSpacing::verbatim);
  const std::optional<std::string> value = doc.value(section_key(section), name);
  if (!value) return fail(ENOENT);
  if (value->size() > kMaxValueBytes) return fail(E2BIG);
  text = *value;
  return 0;
}

int SettingsStore::write_setting(std::string_view section, std::string_view name, std::string_view text) {
  if (folder_.empty()) return ENOENT;
  const std::filesystem::path path = file();
  return with_folder_lock(path, [&]() -> int {
    int error = 0;
    std::optional<std::string> contents = read_text_file(path, &error);
    if (!contents) {
      // A file that exists but cannot be read is left alone rather than replaced.
      if (error != ENOENT) return error;
      contents.emplace();
    }
    IniDocument doc = IniDocument::parse(*contents, IniDocument::ValueSpacing::verbatim);
    if (!doc.set_value(section_key(section), name, text)) return EINVAL;
    return replace_text_file(path, doc.text());
  });
}

}  // namespace kestrelon
