#include "commands/copy_naming.h"

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "app/group_store.h"
#include "app/name_plan_store.h"
#include "model/client_name.h"

namespace kestrelon {
namespace {

// The cards the Controller knows, by member name: learnt now, else remembered.
std::optional<MacAddress> card_of(ControllerCore& core, const std::vector<InventoryEntry>& remembered,
                                  const std::string& name, Ipv4Address address) {
  if (!address.is_zero()) {
    if (const auto mac = core.mac_learner().mac_of(address)) return mac;
  }
  const int i = find_entry(remembered, name);
  return i >= 0 ? remembered[static_cast<std::size_t>(i)].mac : std::nullopt;
}

}  // namespace

std::vector<std::pair<Ipv4Address, std::string>> CopyNamePlan::names() const {
  std::vector<std::pair<Ipv4Address, std::string>> out;
  for (const NamedTarget& t : targets) {
    if (!t.computer_name.empty()) out.emplace_back(t.address, t.computer_name);
  }
  return out;
}

CopyNamePlan plan_copy_names(ControllerCore& core, const std::string& group) {
  CopyNamePlan result;
  {
    SemaphoreGuard hold(core.locks().client_table);
    const ClientTables& tables = core.tables();
    for (int i = 0; i < tables.target_count; ++i) {
      const ClientRecord& t = tables.targets[static_cast<std::size_t>(i)];
      result.targets.push_back(NamedTarget{t.name_text(), t.address, "", ""});
    }
  }
  const NamePlanStore store = NamePlanStore::beside(core.profile().path());
  std::vector<std::string> plans;
  if (!group.empty()) {
    plans.push_back(group);
  } else {
    plans = store.groups();
  }
  if (plans.empty()) return result;
  const std::vector<InventoryEntry> remembered = core.inventory().read().entries;
  const GroupStore groups(core.profile());
  // Per target, every name a plan gives it (by plan), and why a plan gave none.
  std::vector<std::map<std::string, std::string>> given(result.targets.size());
  std::vector<std::string> why(result.targets.size());
  for (const std::string& plan_group : plans) {
    const NamePlanStore::Read read = store.read(plan_group);
    if (!read.problem.empty()) {
      result.problem = read.problem;
      return result;
    }
    if (!read.plan) continue;
    result.any_plan = true;
    std::vector<PlanMember> members;
    for (const GroupEntry& e : groups.read(plan_group)) {
      members.push_back({e.name, card_of(core, remembered, e.name, Ipv4Address::parse(e.address).value_or(Ipv4Address()))});
    }
    const std::vector<PlannedName> planned = plan_names(*read.plan, members);
    for (std::size_t i = 0; i < result.targets.size(); ++i) {
      const NamedTarget& t = result.targets[i];
      const std::optional<MacAddress> mac = card_of(core, remembered, t.name, t.address);
      std::string name;
      if (mac) {
        for (const auto& [card, n] : read.plan->names) {
          if (card == *mac) name = n;
        }
        for (const PlannedName& p : planned) {
          if (name.empty() && p.mac == mac) name = p.computer_name;
        }
      }
      if (!name.empty()) {
        given[i][name] += (given[i][name].empty() ? "" : ", ") + plan_group;
      } else if (!mac) {
        why[i] = "its MAC address is not known yet (list it once while it runs the Client)";
      } else if (why[i].empty()) {
        why[i] = "the name plan of " + plan_group + " does not name it";
      }
    }
  }
  for (std::size_t i = 0; i < result.targets.size(); ++i) {
    NamedTarget& t = result.targets[i];
    if (given[i].size() == 1) {
      t.computer_name = given[i].begin()->first;
    } else if (given[i].size() > 1) {
      t.why_none = "the name plans give it different names:";
      for (const auto& [name, by] : given[i]) t.why_none += " " + name + " (" + by + ")";
    } else if (result.any_plan) {
      t.why_none = why[i];
    }
  }
  return result;
}

void note_copy_names(JournalRecord& record, const std::vector<TargetNaming>& names) {
  const auto targets = record.find("targets");
  if (targets == record.end() || !targets->is_array()) return;
  for (JournalRecord& t : *targets) {
    const auto field = t.find("address");
    if (field == t.end() || !field->is_string()) continue;
    const auto address = Ipv4Address::parse(field->get<std::string>());
    if (!address) continue;
    for (const TargetNaming& n : names) {
      if (n.address != *address) continue;
      t["computer_name"] = n.computer_name;
      if (!n.refused.empty()) t["name_refused"] = n.refused;
      if (!n.taken && n.refused.empty()) t["name_taken"] = false;
    }
  }
}

}  // namespace kestrelon
