#pragma once
// Which computer name each target of a Copy takes, from the name plans kept
// beside the groups (app/name_plan_store.h). A target is known by its card: its
// MAC address as the Controller learnt it now, else as the Client inventory
// remembers it by name. A Copy of a group asked for by name follows that
// group's plan alone; any other Copy follows every plan that names the card
// (given names) or counts it among its group's members (patterns), and gives
// no name when two plans disagree.
#include <string>
#include <utility>
#include <vector>

#include "app/controller_core.h"

namespace kestrelon {

struct NamedTarget {
  std::string name;
  Ipv4Address address;
  std::string computer_name;  // empty: none
  std::string why_none;       // then why, when a plan had a say
};

struct CopyNamePlan {
  std::vector<NamedTarget> targets;  // in target table order
  std::string problem;  // a plan that cannot be followed (a bad line): nothing is copied
  bool any_plan = false;  // some plan had a say
  std::vector<std::pair<Ipv4Address, std::string>> names() const;
};

// The names for the targets in the target table now. `group`: the group the
// Copy was asked for, or "" for none.
CopyNamePlan plan_copy_names(ControllerCore& core, const std::string& group);

// Each target's name and how it went, added to the copy's journal line: the
// targets given a name get "computer_name" and, when their Client never took
// it, "name_taken": false.
void note_copy_names(JournalRecord& record, const std::vector<TargetNaming>& names);

}  // namespace kestrelon
