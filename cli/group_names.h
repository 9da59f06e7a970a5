#pragma once
// kestrelon-cli group names GROUP: the group's name plan (app/name_plan_store.h)
// set or shown, with the computer name each member gets at the next Copy.
#include <string>
#include <vector>

namespace kestrelon::cli {

struct GroupNamesArgs {
  std::string group;
  std::string pattern;                   // --pattern: set it
  int first = 0;                         // --first: set it (0: leave it)
  std::vector<std::string> names;        // --name MAC=NAME
  std::vector<std::string> unnamed;      // --unname MAC
  bool no_pattern = false;               // --no-pattern
  bool clear = false;                    // --clear: the whole plan
  bool json = false;
};

int run_group_names(const GroupNamesArgs& a);

}  // namespace kestrelon::cli
