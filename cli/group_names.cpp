#include "group_names.h"

#include <cstdio>

#include "app/client_inventory.h"
#include "app/group_store.h"
#include "app/name_plan_store.h"
#include "app/settings_store.h"
#include "app/transfer_journal.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "error_report.h"
#include "json_text.h"
#include "text_table.h"

namespace kestrelon::cli {
namespace {

constexpr const char* kCommand = "group names";

bool changes(const GroupNamesArgs& a) {
  return !a.pattern.empty() || a.first > 0 || !a.names.empty() || !a.unnamed.empty() || a.no_pattern || a.clear;
}

// The plan with the command line's changes; "" or what is wrong with them.
std::string change_plan(const GroupNamesArgs& a, NamePlan& plan) {
  if (a.clear) plan = NamePlan{};
  if (a.no_pattern) plan.pattern.clear();
  if (!a.pattern.empty()) {
    if (std::string why = name_pattern_problem(a.pattern); !why.empty()) return "--pattern: " + why;
    plan.pattern = a.pattern;
  }
  if (a.first > 0) plan.first = a.first;
  for (const std::string& u : a.unnamed) {
    const auto mac = MacAddress::parse(u);
    if (!mac) return "--unname: '" + printable(u) + "' is not a MAC address";
    std::erase_if(plan.names, [&](const auto& n) { return n.first == *mac; });
  }
  for (const std::string& n : a.names) {
    const auto equals = n.find('=');
    const auto mac = MacAddress::parse(n.substr(0, std::min(equals, n.size())));
    if (equals == std::string::npos || !mac) return "--name takes MAC=NAME, such as 52:54:00:4b:00:07=ROOM12-TEACHER";
    const std::string name = n.substr(equals + 1);
    if (std::string why = computer_name_problem(name); !why.empty()) return "--name: " + why + " (" + printable(name) + ")";
    std::erase_if(plan.names, [&](const auto& g) { return g.first == *mac; });
    plan.names.emplace_back(*mac, name);
  }
  // Two cards with one name would give two PCs of the room one name.
  for (std::size_t i = 0; i < plan.names.size(); ++i) {
    for (std::size_t j = i + 1; j < plan.names.size(); ++j) {
      if (plan.names[i].second == plan.names[j].second) return "two cards would be named " + plan.names[i].second;
    }
  }
  return "";
}

}  // namespace

int run_group_names(const GroupNamesArgs& a) {
  ProfileStore profile(ProfileStore::default_path(SettingsStore::default_folder()));
  const GroupStore groups(profile);
  const std::optional<std::string> group = groups.find(a.group);
  if (!group) {
    report_error(kCommand, "no group '" + printable(a.group) + "' in " + profile.path().string());
    return kExitFailed;
  }
  const NamePlanStore store = NamePlanStore::beside(profile.path());
  NamePlanStore::Read read = store.read(*group);
  if (!read.problem.empty() && !a.clear) {
    report_error(kCommand, read.problem);
    return kExitFailed;
  }
  NamePlan plan = read.plan.value_or(NamePlan{});
  if (changes(a)) {
    if (const std::string why = change_plan(a, plan); !why.empty()) return usage_error(kCommand, why);
    if (const std::string why = store.write(*group, plan); !why.empty()) {
      report_error(kCommand, why);
      return kExitFailed;
    }
  }
  const std::vector<InventoryEntry> known =
      ClientInventory(ClientInventory::beside(TransferJournal::default_file())).read().entries;
  std::vector<PlanMember> members;
  for (const GroupEntry& e : groups.read(*group)) {
    const int i = find_entry(known, e.name);
    members.push_back({e.name, i >= 0 ? known[static_cast<std::size_t>(i)].mac : std::nullopt});
  }
  const std::vector<PlannedName> planned = plan.empty() ? std::vector<PlannedName>{} : plan_names(plan, members);
  if (a.json) {
    Json given = Json::object();
    for (const auto& [mac, name] : plan.names) given[mac.text()] = name;
    Json list = Json::array();
    for (const PlannedName& p : planned) {
      Json m{{"name", p.member}, {"mac", p.mac ? Json(p.mac->text()) : Json()}};
      if (p.computer_name.empty()) {
        m["why_none"] = p.why_none;
      } else {
        m["computer_name"] = p.computer_name;
      }
      list.push_back(std::move(m));
    }
    std::printf("%s\n", json_text(Json{{"group", *group},
                                        {"file", store.path().string()},
                                        {"pattern", plan.pattern.empty() ? Json() : Json(plan.pattern)},
                                        {"first", plan.first},
                                        {"names", given},
                                        {"members", list}})
                            .c_str());
    return kExitOk;
  }
  if (plan.empty()) {
    std::printf("Group %s has no name plan: a Copy leaves the copied systems' names as they are.\n",
                printable(*group).c_str());
    return kExitOk;
  }
  std::printf("Name plan of group %s (%s):\n", printable(*group).c_str(), store.path().c_str());
  if (!plan.pattern.empty()) std::printf("  pattern %s from %d, in the order of the MAC addresses\n", plan.pattern.c_str(), plan.first);
  std::vector<std::vector<std::string>> lines{{"Name", "MAC address", "Computer name"}};
  for (const PlannedName& p : planned) {
    lines.push_back({printable(p.member), p.mac ? p.mac->text() : "-",
                     p.computer_name.empty() ? "none: " + p.why_none : p.computer_name});
  }
  print_text_table(lines);
  return kExitOk;
}

}  // namespace kestrelon::cli
