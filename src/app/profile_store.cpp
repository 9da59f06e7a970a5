#include "app/profile_store.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <system_error>

#include "app/ini_document.h"
#include "app/text_file.h"

namespace kestrelon {

namespace {

IniDocument load(const std::filesystem::path& file) {
  const std::optional<std::string> text = read_text_file(file);
  return IniDocument::parse(text ? *text : std::string(), IniDocument::ValueSpacing::trimmed);
}

// Cuts to the byte limit without ending inside a UTF-8 sequence.
std::string cut_text(std::string text) {
  if (text.size() <= ProfileStore::kMaxTextBytes) return text;
  std::size_t end = ProfileStore::kMaxTextBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Reads, changes and replaces the file under the folder lock. `change` returns
// false to leave the file as it is.
bool rewrite(const std::filesystem::path& file, const std::function<bool(IniDocument&)>& change, bool& changed) {
  const int result = with_folder_lock(file, [&]() -> int {
    int error = 0;
    std::optional<std::string> text = read_text_file(file, &error);
    if (!text) {
      if (error != ENOENT) return error;  // never replace a file that could not be read
      text.emplace();
    }
    IniDocument doc = IniDocument::parse(*text, IniDocument::ValueSpacing::trimmed);
    changed = change(doc);
    return changed ? replace_text_file(file, doc.text()) : 0;
  });
  return result == 0;
}

}  // namespace

std::filesystem::path ProfileStore::default_path(const std::filesystem::path& settings_folder) {
  const char* named = std::getenv("KESTRELON_PROFILE");
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  return locate(named ? named : "", ec ? std::filesystem::path() : program.parent_path(), settings_folder);
}

std::filesystem::path ProfileStore::locate(std::string_view named, const std::filesystem::path& program_folder,
                                           const std::filesystem::path& settings_folder) {
  if (!named.empty()) return std::filesystem::path(named);
  const std::filesystem::path beside_program = program_folder / kFileName;
  std::error_code ec;
  if (settings_folder.empty() || std::filesystem::exists(beside_program, ec)) return beside_program;
  return settings_folder / kFileName;
}

void ProfileStore::list_sections(std::vector<std::string>& names) const {
  for (std::string& name : load(file_).section_names()) names.push_back(cut_text(std::move(name)));
}

void ProfileStore::read_list(std::string_view section, std::vector<std::string>& values) const {
  const IniDocument doc = load(file_);
  for (int i = 0; i < kMaxListKeys; ++i) {
    const std::optional<std::string> value = doc.value(section, std::to_string(i));
    if (!value || value->empty()) return;
    values.push_back(cut_text(*value));
  }
}

std::string ProfileStore::read_value(std::string_view section, std::string_view key) const {
  return cut_text(load(file_).value(section, key).value_or(std::string()));
}

bool ProfileStore::write_value(std::string_view section, std::optional<std::string_view> key,
                               std::optional<std::string_view> value) {
  if (!key || !value) return false;
  bool accepted = false;
  return rewrite(file_, [&](IniDocument& doc) { return doc.set_value(section, *key, *value); }, accepted) &&
         accepted;
}

bool ProfileStore::delete_section(std::string_view section) {
  bool changed = false;
  return rewrite(file_, [&](IniDocument& doc) { return doc.remove_section(section); }, changed);
}

bool ProfileStore::replace_section(std::string_view section, const std::vector<std::string>& values) {
  bool changed = false;
  const bool written = rewrite(
      file_,
      [&](IniDocument& doc) {
        IniDocument replaced = doc;
        const bool removed = replaced.remove_section(section);
        for (std::size_t i = 0; i < values.size(); ++i) {
          if (!replaced.set_value(section, std::to_string(i), values[i])) return false;
        }
        doc = std::move(replaced);
        return removed || !values.empty();
      },
      changed);
  return written && (changed || values.empty());
}

}  // namespace kestrelon
