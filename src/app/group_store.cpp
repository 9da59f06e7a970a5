#include "app/group_store.h"

#include <algorithm>

#include "app/ini_document.h"

namespace kestrelon {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool list_box_less(const std::string& a, const std::string& b) {
  const auto folded_less = [](char x, char y) {
    return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded_less)) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded_less)) return false;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace

bool GroupStore::same_name(std::string_view a, std::string_view b) { return IniDocument::same_name(a, b); }

bool GroupStore::valid_name(std::string_view name) {
  if (!IniDocument::valid_section_name(name)) return false;
  // The file keeps the name without the blanks around it.
  const std::size_t first = name.find_first_not_of(" \t");
  const std::size_t last = name.find_last_not_of(" \t");
  return last - first + 1 <= ProfileStore::kMaxTextBytes;
}

std::vector<std::string> GroupStore::names() const {
  std::vector<std::string> sections;
  profile_.list_sections(sections);
  std::vector<std::string> names;
  for (std::string& section : sections) {
    const bool listed =
        std::any_of(names.begin(), names.end(), [&](const std::string& n) { return same_name(n, section); });
    if (!listed) names.push_back(std::move(section));
  }
  std::sort(names.begin(), names.end(), list_box_less);
  return names;
}

std::optional<std::string> GroupStore::find(std::string_view name) const {
  std::vector<std::string> sections;
  profile_.list_sections(sections);
  for (std::string& section : sections) {
    if (same_name(section, name)) return std::move(section);
  }
  return std::nullopt;
}

std::vector<GroupEntry> GroupStore::read(std::string_view name) const {
  std::vector<std::string> values;
  profile_.read_list(name, values);
  std::vector<GroupEntry> entries;
  entries.reserve(values.size());
  for (const std::string& value : values) entries.push_back(parse_group_entry(value));
  return entries;
}

GroupStore::SaveResult GroupStore::save(std::string_view name, const std::vector<ClientRowFields>& members) {
  if (!valid_name(name)) return SaveResult::bad_name;
  std::vector<std::string> values;
  values.reserve(members.size());
  for (const ClientRowFields& member : members) values.push_back(format_group_entry(member));
  return profile_.replace_section(name, values) ? SaveResult::saved : SaveResult::write_failed;
}

bool GroupStore::remove(std::string_view name) { return profile_.delete_section(name); }

}  // namespace kestrelon
