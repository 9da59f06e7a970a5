#include "commands/transfer_outcome.h"

#include <cstdio>
#include <filesystem>

namespace kestrelon {

namespace {

std::string rate_text(const JournalFacts& f) {
  if (f.seconds <= 0) return {};
  char text[32];
  std::snprintf(text, sizeof text, ", %.1f MB/s", static_cast<double>(f.bytes) / f.seconds / 1e6);
  return text;
}

// "PC-04 (fell silent), PC-05 (cancelled)": the Clients that did not finish.
std::string not_done_text(const std::vector<TargetState>& targets) {
  std::string text;
  for (const TargetState& t : targets) {
    if (t.step == TargetStep::done) continue;
    if (!text.empty()) text += ", ";
    text += t.name;
    if (!t.reason.empty()) text += " (" + t.reason + ")";
  }
  return text;
}

std::string copy_line(const JournalFacts& f, const std::string& image) {
  std::size_t done = 0;
  for (const TargetState& t : f.targets) done += t.step == TargetStep::done ? 1 : 0;
  const std::string counted =
      "Copied " + image + " to " + std::to_string(done) + " of " + std::to_string(f.targets.size()) + " Clients";
  if (done == f.targets.size()) return counted + rate_text(f);
  if (done > 0) return counted + "; not done: " + not_done_text(f.targets);
  if (f.cancelled) return "Copy of " + image + " cancelled";
  return "Copy of " + image + " failed: " + not_done_text(f.targets);
}

std::string create_line(const JournalFacts& f, const std::string& image) {
  const std::string source = f.targets.empty() ? std::string() : " from " + f.targets.front().name;
  if (!f.targets.empty() && f.targets.front().step == TargetStep::done)
    return "Created " + image + source + rate_text(f);
  if (f.cancelled) return "Create of " + image + source + " cancelled";
  const std::string reason = f.targets.empty() ? std::string() : f.targets.front().reason;
  return "Create of " + image + source + " failed" + (reason.empty() ? "" : ": " + reason);
}

}  // namespace

std::string transfer_outcome_line(const JournalFacts& facts) {
  const std::string image = std::filesystem::path(facts.image).filename().string();
  return facts.kind == "create" ? create_line(facts, image) : copy_line(facts, image);
}

std::vector<std::string> failure_reasons(const std::vector<ClientRowFields>& rows,
                                         const std::vector<TargetState>& outcomes) {
  std::vector<std::string> reasons;
  for (const ClientRowFields& row : rows) {
    std::string reason;
    for (const TargetState& t : outcomes)
      if (!t.address.is_zero() && t.address.padded_text() == row.address) reason = t.reason;
    reasons.push_back(reason);
  }
  return reasons;
}

}  // namespace kestrelon
