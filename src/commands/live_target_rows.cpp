#include "commands/live_target_rows.h"

#include <algorithm>

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

PixelRect live_table_place(const PixelRect& dialog, int width, int height, const PixelRect& screen) {
  constexpr int kGap = 8;
  const auto clamp = [](int at, int size, int from, int room) { return std::max(from, std::min(at, from + room - size)); };
  const int top = clamp(dialog.y, height, screen.y, screen.height);
  const int left = clamp(dialog.x, width, screen.x, screen.width);
  if (dialog.x + dialog.width + kGap + width <= screen.x + screen.width)
    return {dialog.x + dialog.width + kGap, top, width, height};
  if (dialog.x - kGap - width >= screen.x) return {dialog.x - kGap - width, top, width, height};
  if (dialog.y + dialog.height + kGap + height <= screen.y + screen.height)
    return {left, dialog.y + dialog.height + kGap, width, height};
  return {left, std::max(screen.y, dialog.y - kGap - height), width, height};
}

}  // namespace kestrelon
