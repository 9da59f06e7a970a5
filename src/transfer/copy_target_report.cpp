#include "transfer/copy_target_report.h"

#include <cstdio>

namespace kestrelon {

const char* step_text(TargetStep step) {
  switch (step) {
    case TargetStep::listed: return "listed";
    case TargetStep::start_sent: return "start sent";
    case TargetStep::ready: return "ready";
    case TargetStep::done: return "done";
    case TargetStep::skipped: return "skipped";
    case TargetStep::failed: return "failed";
  }
  return "";
}

const char* answer_text(CopyAnswer answer) {
  switch (answer) {
    case CopyAnswer::ready: return "ready";
    case CopyAnswer::acknowledgement: return "acknowledgement";
    case CopyAnswer::resend_request: return "resend request";
    case CopyAnswer::done: return "completion";
  }
  return "";
}

void CopyTargetReport::reset() {
  std::lock_guard hold(mutex_);
  states_.clear();
  events_.clear();
  open_ = false;
}

void CopyTargetReport::skip(const std::string& name, Ipv4Address address, const std::string& reason,
                            TargetStep step) {
  std::lock_guard hold(mutex_);
  states_.push_back(TargetState{.name = name, .address = address, .step = step, .reason = reason});
  changed(states_.back());
}

void CopyTargetReport::open(const std::vector<TargetState>& targets) {
  std::lock_guard hold(mutex_);
  for (TargetState t : targets) {
    t.step = TargetStep::listed;
    states_.push_back(std::move(t));
  }
  open_ = true;
}

TargetState* CopyTargetReport::find(Ipv4Address address) {
  for (TargetState& s : states_)
    if (s.address == address && s.step != TargetStep::skipped) return &s;
  return nullptr;
}

void CopyTargetReport::start_sent(Ipv4Address target) {
  std::lock_guard hold(mutex_);
  TargetState* s = open_ ? find(target) : nullptr;
  if (!s || s->step != TargetStep::listed) return;
  s->step = TargetStep::start_sent;
  changed(*s);
}

void CopyTargetReport::heard(Ipv4Address from, CopyAnswer answer, std::uint32_t block) {
  const Tick now = clock_.now();
  std::lock_guard hold(mutex_);
  TargetState* s = open_ ? find(from) : nullptr;
  if (!s) return;
  s->last_heard = LastHeard{.answer = answer, .block = block, .at = now};
  const bool before_ready = s->step == TargetStep::listed || s->step == TargetStep::start_sent;
  if (answer == CopyAnswer::ready && before_ready) {
    s->step = TargetStep::ready;
    changed(*s);
  } else if (answer == CopyAnswer::done && s->step != TargetStep::done) {
    s->step = TargetStep::done;
    changed(*s);
  }
}

void CopyTargetReport::close(CopyEnd end) {
  const Tick now = clock_.now();
  std::lock_guard hold(mutex_);
  if (!open_) return;
  open_ = false;
  for (TargetState& s : states_) {
    if (s.step == TargetStep::done || s.step == TargetStep::skipped) continue;
    if (s.last_heard) s.last_heard->before_end_ms = now - s.last_heard->at;
    s.reason = failure_reason(end, s);
    s.step = TargetStep::failed;
    changed(s);
  }
}

std::string CopyTargetReport::failure_reason(CopyEnd end, const TargetState& t) {
  const bool answered_start = t.step == TargetStep::ready || t.last_heard.has_value();
  std::string why;
  switch (end) {
    case CopyEnd::never_started:
      why = answered_start ? "ready, but the copy never started: not every Client answered the start request"
                           : "no answer to the start request";
      break;
    case CopyEnd::late_after_first: why = "not done 5 s after the first Client finished"; break;
    case CopyEnd::no_acknowledger_left: why = "fell silent"; break;
    case CopyEnd::cancelled: why = "cancelled"; break;
    case CopyEnd::all_done: why = "did not report completion"; break;
  }
  if (!t.last_heard) return why + "; nothing heard from it";
  const LastHeard& h = t.last_heard.value();
  char text[160];
  if (h.answer == CopyAnswer::acknowledgement || h.answer == CopyAnswer::resend_request) {
    std::snprintf(text, sizeof text, "; last heard: %s %s block %u, %.1f s before the end", answer_text(h.answer),
                  h.answer == CopyAnswer::acknowledgement ? "of" : "for", h.block, h.before_end_ms / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "; last heard: %s, %.1f s before the end", answer_text(h.answer),
                  h.before_end_ms / 1000.0);
  }
  return why + text;
}

std::vector<TargetState> CopyTargetReport::take_events() {
  std::lock_guard hold(mutex_);
  std::vector<TargetState> out;
  out.swap(events_);
  return out;
}

std::vector<TargetState> CopyTargetReport::states() const {
  std::lock_guard hold(mutex_);
  return states_;
}

}  // namespace kestrelon
