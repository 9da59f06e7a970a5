#include "app/name_plan_store.h"

#include <charconv>
#include <cstring>
#include <set>

#include "app/ini_document.h"
#include "app/text_file.h"

namespace kestrelon {
namespace {

constexpr const char* kPatternKey = "pattern";
constexpr const char* kFirstKey = "first";

IniDocument load(const std::filesystem::path& file) {
  const auto text = read_text_file(file);
  return IniDocument::parse(text.value_or(""), IniDocument::ValueSpacing::trimmed);
}

}  // namespace

NamePlanStore NamePlanStore::beside(const std::filesystem::path& groups_file) {
  return NamePlanStore(groups_file.parent_path() / kFileName);
}

std::vector<std::string> NamePlanStore::groups() const { return load(file_).section_names(); }

NamePlanStore::Read NamePlanStore::read(std::string_view group) const {
  const IniDocument doc = load(file_);
  bool found = false;
  for (const std::string& s : doc.section_names()) found = found || IniDocument::same_name(s, group);
  if (!found) return {};
  const auto bad = [&](const std::string& why) {
    return Read{std::nullopt, file_.string() + ", [" + std::string(group) + "]: " + why};
  };
  NamePlan plan;
  std::set<MacAddress> seen;
  for (const auto& [key, value] : doc.entries(group)) {
    if (IniDocument::same_name(key, kPatternKey)) {
      if (std::string why = name_pattern_problem(value); !why.empty()) return bad(why);
      plan.pattern = value;
    } else if (IniDocument::same_name(key, kFirstKey)) {
      int first = 0;
      const auto [end, rc] = std::from_chars(value.data(), value.data() + value.size(), first);
      if (rc != std::errc() || end != value.data() + value.size() || first < 0 || first > 9999) {
        return bad("first= takes a whole number from 0 to 9999");
      }
      plan.first = first;
    } else if (const auto mac = MacAddress::parse(key)) {
      if (std::string why = computer_name_problem(value); !why.empty()) return bad(why + " (" + value + ")");
      if (!seen.insert(*mac).second) return bad(mac->text() + " is named twice");
      plan.names.emplace_back(*mac, value);
    } else {
      return bad("\"" + key + "\" is neither pattern, first nor a MAC address");
    }
  }
  return Read{std::move(plan), ""};
}

std::string NamePlanStore::write(std::string_view group, const NamePlan& plan) const {
  if (!IniDocument::valid_section_name(group)) return "a group name cannot hold a line break or \"]\"";
  const int rc = with_folder_lock(file_, [&] {
    IniDocument doc = load(file_);
    doc.remove_section(group);
    if (!plan.pattern.empty()) doc.set_value(group, kPatternKey, plan.pattern);
    if (!plan.empty() && plan.first != 1) doc.set_value(group, kFirstKey, std::to_string(plan.first));
    for (const auto& [mac, name] : plan.names) doc.set_value(group, mac.text(), name);
    return replace_text_file(file_, doc.text());
  });
  return rc == 0 ? "" : "writing " + file_.string() + " failed: " + std::strerror(rc);
}

}  // namespace kestrelon
