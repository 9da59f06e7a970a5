#include "commands/live_target_rows.h"

namespace kestrelon {

namespace {

std::string heard_text(const TargetState& s) {
  if (!s.reason.empty()) return s.reason;
  if (!s.last_heard) return "";
  const LastHeard& h = *s.last_heard;
  std::string text = std::string("last heard: ") + answer_text(h.answer);
  if (h.answer == CopyAnswer::acknowledgement || h.answer == CopyAnswer::resend_request)
    text += " of block " + std::to_string(h.block);
  return text;
}

}  // namespace

bool LiveTargetRows::update(const std::vector<TargetState>& states) {
  std::vector<std::vector<std::string>> rows;
  int done = 0;
  int targets = 0;
  for (const TargetState& s : states) {
    targets += s.step == TargetStep::skipped ? 0 : 1;
    done += s.step == TargetStep::done ? 1 : 0;
    rows.push_back({s.name, s.address.is_zero() ? "" : s.address.text(),
                    s.step == TargetStep::done ? "copied" : step_text(s.step), heard_text(s)});
  }
  done_ = done;
  targets_ = targets;
  if (rows == rows_) return false;
  rows_ = std::move(rows);
  return true;
}

}  // namespace kestrelon
