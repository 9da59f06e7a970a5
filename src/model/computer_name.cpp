#include "model/computer_name.h"

#include <algorithm>
#include <cctype>

namespace kestrelon {
namespace {

bool name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; }

struct NumberField {
  std::size_t at = 0;      // where "{" is
  std::size_t length = 0;  // "{nn}" is 4 long
};

// The single number field of a pattern; nullopt when it has none or several.
std::optional<NumberField> number_field(std::string_view pattern) {
  std::optional<NumberField> field;
  for (std::size_t i = pattern.find('{'); i != std::string_view::npos; i = pattern.find('{', i + 1)) {
    std::size_t end = i + 1;
    while (end < pattern.size() && pattern[end] == 'n') ++end;
    if (end == i + 1 || end >= pattern.size() || pattern[end] != '}' || field) return std::nullopt;
    field = NumberField{i, end + 1 - i};
  }
  return field;
}

}  // namespace

std::string computer_name_problem(std::string_view name) {
  if (name.empty()) return "a computer name cannot be empty";
  if (name.size() > 63) return "a computer name has at most 63 characters";
  if (!std::all_of(name.begin(), name.end(), name_char)) {
    return "a computer name holds only letters A-Z, digits and hyphens";
  }
  if (name.front() == '-' || name.back() == '-') return "a computer name cannot start or end with a hyphen";
  if (std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
    return "a computer name cannot be only digits";
  }
  return "";
}

std::string name_pattern_problem(std::string_view pattern) {
  const auto field = number_field(pattern);
  if (!field) return "a name pattern holds one number field, such as {nn} in ROOM12-PC{nn}";
  // The widest number a room can reach stands for every number here.
  const std::string widest = expand_name_pattern(pattern, 999);
  if (std::string why = computer_name_problem(widest); !why.empty()) return why + " (" + widest + ")";
  return "";
}

std::string expand_name_pattern(std::string_view pattern, int number) {
  const auto field = number_field(pattern);
  if (!field) return std::string(pattern);
  std::string digits = std::to_string(number);
  const std::size_t width = field->length - 2;
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return std::string(pattern.substr(0, field->at)) + digits + std::string(pattern.substr(field->at + field->length));
}

std::vector<PlannedName> plan_names(const NamePlan& plan, const std::vector<PlanMember>& members) {
  std::vector<PlannedName> planned;
  std::vector<std::pair<MacAddress, std::size_t>> numbered;  // members the pattern names, by card
  for (const PlanMember& m : members) {
    PlannedName p{m.name, m.mac, "", ""};
    if (!m.mac) {
      p.why_none = "its MAC address is not known yet (list it once while it runs the Client)";
    } else if (const auto given = std::find_if(plan.names.begin(), plan.names.end(),
                                               [&](const auto& n) { return n.first == *m.mac; });
               given != plan.names.end()) {
      p.computer_name = given->second;
    } else if (plan.pattern.empty()) {
      p.why_none = "the name plan gives its MAC address no name";
    } else {
      numbered.emplace_back(*m.mac, planned.size());
    }
    planned.push_back(std::move(p));
  }
  std::sort(numbered.begin(), numbered.end());
  int number = plan.first;
  for (std::size_t i = 0; i < numbered.size(); ++i) {
    // Two members with one card (a PC listed under two names) share its number.
    if (i > 0 && numbered[i].first != numbered[i - 1].first) ++number;
    planned[numbered[i].second].computer_name = expand_name_pattern(plan.pattern, number);
  }
  return planned;
}

}  // namespace kestrelon
