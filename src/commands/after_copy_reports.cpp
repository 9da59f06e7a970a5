#include "commands/after_copy_reports.h"

#include <nlohmann/json.hpp>

namespace kestrelon {
namespace {

const char* outcome_text(wire::NamingOutcome outcome) {
  switch (outcome) {
    case wire::NamingOutcome::named: return "named";
    case wire::NamingOutcome::left_as_is: return "left as it is";
    case wire::NamingOutcome::failed: return "failed";
    case wire::NamingOutcome::not_asked: break;
  }
  return "no name asked for";
}

}  // namespace

void AfterCopyReports::expect(const JournalFacts& copy, const std::vector<TargetNaming>& names, Tick now, Tick wait) {
  copy_.reset();
  awaited_.clear();
  for (const TargetNaming& n : names) {
    if (!n.taken) continue;
    for (const TargetState& t : copy.targets) {
      if (t.address == n.address && t.step == TargetStep::done) awaited_.push_back(n.address);
    }
  }
  if (awaited_.empty()) return;
  copy_ = copy;
  // What the caller added to the copy's line may be gone by the time this is written.
  copy_->annotate = nullptr;
  deadline_ = now + wait;
}

std::optional<JournalRecord> AfterCopyReports::poll(const CopyNames& names, const TransferJournal& journal, Tick now,
                                                    bool now_or_never) {
  if (!copy_) return std::nullopt;
  if (!now_or_never && !names.all_reported(awaited_) && !tick_later(now, deadline_)) return std::nullopt;
  JournalRecord record = after_copy_record(*copy_, names.targets(), awaited_, wall_clock_ms());
  journal.append(record);
  copy_.reset();
  awaited_.clear();
  return record;
}

JournalRecord after_copy_record(const JournalFacts& copy, const std::vector<TargetNaming>& names,
                                const std::vector<Ipv4Address>& awaited, std::int64_t now_ms) {
  JournalRecord r;
  r["kind"] = "after-copy";
  r["program"] = copy.program;
  r["started"] = local_time_text(copy.started_ms);
  r["ended"] = local_time_text(now_ms);
  r["image"] = journal_record(copy)["image"];
  JournalRecord targets = JournalRecord::array();
  std::size_t named = 0;
  for (const Ipv4Address& address : awaited) {
    for (const TargetNaming& n : names) {
      if (n.address != address) continue;
      JournalRecord t;
      for (const TargetState& s : copy.targets) {
        if (s.address == address) t["name"] = s.name;
      }
      t["address"] = address.text();
      t["computer_name"] = n.computer_name;
      if (n.outcome) {
        t["outcome"] = outcome_text(*n.outcome);
        named += *n.outcome == wire::NamingOutcome::named ? 1 : 0;
        if (!n.report.empty()) t["reason"] = n.report;
      } else {
        t["outcome"] = "no report";
        t["reason"] = "the PC sent no report after its copy (switched off, or still busy growing its disk)";
      }
      targets.push_back(t);
    }
  }
  r["result"] = named == awaited.size() ? "succeeded" : named > 0 ? "partial" : "failed";
  r["targets"] = targets;
  return r;
}

}  // namespace kestrelon

namespace kestrelon {

std::string after_copy_outcome_line(const JournalRecord& record) {
  std::size_t named = 0, all = 0;
  const auto targets = record.find("targets");
  if (targets != record.end() && targets->is_array()) {
    for (const JournalRecord& t : *targets) {
      ++all;
      const auto outcome = t.find("outcome");
      named += outcome != t.end() && outcome->is_string() && outcome->get<std::string>() == "named" ? 1 : 0;
    }
  }
  return "Computer names after the copy: " + std::to_string(named) + " of " + std::to_string(all) +
         " PCs named (View > History... tells each)";
}

}  // namespace kestrelon
