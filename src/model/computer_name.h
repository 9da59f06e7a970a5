#pragma once
// The computer name each PC of a room gets after a copy, as its name plan says:
// names given per MAC address, and a pattern such as "ROOM12-PC{nn}" that
// numbers the other members of a group in the order of their MAC addresses, so
// the same room gets the same names at every copy. The Controller works them
// out here; the Client checks a name it is given with the same rule.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/mac_address.h"

namespace kestrelon {

// What a computer name may be: a host name's label (1 to 63 letters, digits and
// hyphens, not starting or ending with a hyphen) and not only digits, which
// Windows refuses. Why `name` is not one, or "" when it is.
std::string computer_name_problem(std::string_view name);

// Windows keeps this many characters of a computer name as its NetBIOS name.
inline constexpr std::size_t kNetbiosNameLength = 15;

// A pattern holds exactly one number field, "{n}", "{nn}", "{nnn}" ..., whose
// braces count the digits the number has at least; the rest is text a computer
// name may hold. Why `pattern` is not one, or "".
std::string name_pattern_problem(std::string_view pattern);
// The pattern with its number field replaced by `number`, zero-padded.
std::string expand_name_pattern(std::string_view pattern, int number);

struct NamePlan {
  std::string pattern;  // empty: no pattern
  int first = 1;        // the number of the first member the pattern names
  std::vector<std::pair<MacAddress, std::string>> names;  // given names, by card
  bool empty() const { return pattern.empty() && names.empty(); }
};

struct PlanMember {
  std::string name;                // the member as the group lists it
  std::optional<MacAddress> mac;   // its card, when the Controller has learnt it
};

struct PlannedName {
  std::string member;
  std::optional<MacAddress> mac;
  std::string computer_name;  // empty when the plan gives it none
  std::string why_none;       // then: why
};

// Each member with the name the plan gives it: its card's given name, else the
// pattern's next number, counting the members without a given name in the
// order of their MAC addresses. A member whose card is not known gets none.
std::vector<PlannedName> plan_names(const NamePlan& plan, const std::vector<PlanMember>& members);

}  // namespace kestrelon
