#include "commands/journal_record.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

namespace kestrelon {

std::int64_t wall_clock_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string local_time_text(std::int64_t ms) {
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  char text[40];
  char offset[8];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(offset, sizeof offset, "%z", &local);
  // "+0200" is written "+02:00", as RFC 3339 writes offsets.
  const std::string z = offset;
  return std::string(text) + (z.size() == 5 ? z.substr(0, 3) + ":" + z.substr(3) : z);
}

JournalRecord target_record(const TargetState& t) {
  JournalRecord r;
  r["name"] = t.name;
  r["address"] = t.address.is_zero() ? JournalRecord() : JournalRecord(t.address.text());
  r["outcome"] = step_text(t.step);
  if (!t.reason.empty()) r["reason"] = t.reason;
  if (!t.report.empty()) r["report"] = t.report;
  if (t.last_heard && (t.step == TargetStep::failed)) {
    const LastHeard& h = *t.last_heard;
    JournalRecord heard;
    heard["answer"] = answer_text(h.answer);
    if (h.answer == CopyAnswer::acknowledgement || h.answer == CopyAnswer::resend_request) heard["block"] = h.block;
    heard["seconds_before_end"] = std::round(h.before_end_ms / 100.0) / 10.0;
    r["last_heard"] = heard;
  }
  return r;
}

std::string transfer_result(const std::vector<TargetState>& targets, bool cancelled) {
  std::size_t done = 0;
  for (const TargetState& t : targets) done += t.step == TargetStep::done ? 1 : 0;
  if (done > 0 && done == targets.size()) return "succeeded";
  if (done > 0) return "partial";
  return cancelled ? "cancelled" : "failed";
}

JournalRecord journal_record(const JournalFacts& f) {
  std::error_code ec;
  std::filesystem::path image = std::filesystem::absolute(f.image, ec);
  if (ec) image = f.image;
  JournalRecord r;
  r["kind"] = f.kind;
  r["program"] = f.program;
  r["started"] = local_time_text(f.started_ms);
  r["ended"] = local_time_text(f.ended_ms);
  r["image"] = image.lexically_normal().string();
  r["bytes"] = f.bytes;
  r["seconds"] = std::round(f.seconds * 1000.0) / 1000.0;
  r["rate_mbps"] = f.seconds > 0 ? std::round(static_cast<double>(f.bytes) / f.seconds / 1e4) / 100.0 : 0.0;
  r["retries"] = f.retries;
  r["acknowledgements"] = f.acknowledgements;
  r["result"] = transfer_result(f.targets, f.cancelled);
  JournalRecord targets = JournalRecord::array();
  for (const TargetState& t : f.targets) targets.push_back(target_record(t));
  r["targets"] = targets;
  if (f.annotate) f.annotate(r);
  return r;
}

void append_to_journal(const TransferJournal& journal, const JournalFacts& facts) {
  journal.append(journal_record(facts));
}

std::string report_text(const JournalRecord& target) {
  std::string text;
  const auto report = target.find("report");
  if (report == target.end() || !report->is_array()) return text;
  for (const JournalRecord& line : *report)
    if (line.is_string()) text += (text.empty() ? "" : "; ") + line.get<std::string>();
  return text;
}

}  // namespace kestrelon
