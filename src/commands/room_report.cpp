#include "commands/room_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "model/client_name.h"

namespace kestrelon {

PcFacts& RoomReport::entry(const std::string& name) {
  for (PcFacts& p : pcs_)
    if (same_client_name(p.name, name)) return p;
  pcs_.push_back(PcFacts{.name = name});
  return pcs_.back();
}

void RoomReport::on_already(const std::string& name, std::optional<MacAddress> mac) {
  PcFacts& p = entry(name);
  p.on_before = true;
  if (mac) p.mac = mac;
}

void RoomReport::woke(const WakeOutcome& outcome, Tick now) {
  PcFacts& p = entry(outcome.name);
  if (outcome.mac) p.mac = outcome.mac;
  if (outcome.woken()) {
    if (!p.wake_sent) p.woken_at = now;
    p.wake_sent = true;
    p.wake_problem.clear();
  } else if (!p.wake_sent) {
    p.wake_problem = outcome.problem;
  }
}

void RoomReport::booted(const std::string& name, Tick now) {
  PcFacts* p = nullptr;
  for (PcFacts& f : pcs_)
    if (same_client_name(f.name, name)) p = &f;
  if (!p || !p->wake_sent || p->booted_after_seconds) return;
  p->booted_after_seconds = std::round(static_cast<double>(now - p->woken_at) / 100.0) / 10.0;
}

const PcFacts* RoomReport::find(const std::string& name) const {
  for (const PcFacts& p : pcs_)
    if (same_client_name(p.name, name)) return &p;
  return nullptr;
}

void RoomReport::annotate(JournalRecord& record) const {
  const auto targets = record.find("targets");
  if (targets == record.end() || !targets->is_array()) return;
  for (JournalRecord& t : *targets) {
    const auto name = t.find("name");
    if (name == t.end() || !name->is_string()) continue;
    const PcFacts* p = find(name->get<std::string>());
    if (!p) continue;
    if (p->mac) t["mac"] = p->mac->text();
    t["woken"] = p->wake_sent;
    if (p->on_before) t["was_on"] = true;
    if (!p->wake_problem.empty()) t["wake_problem"] = p->wake_problem;
    if (p->booted_after_seconds) t["booted_after_seconds"] = *p->booted_after_seconds;
  }
}

}  // namespace kestrelon
