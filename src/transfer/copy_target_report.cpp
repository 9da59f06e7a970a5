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
  acknowledging_named_ = false;
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
  if (answer == CopyAnswer::acknowledgement || answer == CopyAnswer::resend_request) s->receiving = true;
  const bool before_ready = s->step == TargetStep::listed || s->step == TargetStep::start_sent;
  if (answer == CopyAnswer::ready && before_ready) {
    s->step = TargetStep::ready;
    changed(*s);
  } else if (answer == CopyAnswer::done && s->step != TargetStep::done) {
    s->step = TargetStep::done;
    changed(*s);
  }
}

void CopyTargetReport::acknowledging(Ipv4Address client) {
  std::lock_guard hold(mutex_);
  TargetState* named = open_ ? find(client) : nullptr;
  if (!named) return;
  // The engine names another only when the one before stopped acknowledging.
  for (TargetState& s : states_) s.replaced = s.replaced || (s.acknowledging && &s != named);
  named->acknowledging = true;
  named->replaced = false;
  acknowledging_named_ = true;
}

void CopyTargetReport::reported(Ipv4Address client, const std::vector<std::string>& lines) {
  std::lock_guard hold(mutex_);
  TargetState* s = open_ ? find(client) : nullptr;
  if (s && s->report.empty()) s->report = lines;
}

void CopyTargetReport::close(CopyEnd end) {
  const Tick now = clock_.now();
  std::lock_guard hold(mutex_);
  if (!open_) return;
  open_ = false;
  for (TargetState& s : states_) {
    if (s.step == TargetStep::done || s.step == TargetStep::skipped) continue;
    if (s.last_heard) s.last_heard->before_end_ms = now - s.last_heard->at;
    s.reason = failure_reason(end, s, acknowledging_named_);
    s.step = TargetStep::failed;
    changed(s);
  }
}

namespace {

std::string last_heard_text(const LastHeard& h) {
  char text[160];
  if (h.answer == CopyAnswer::acknowledgement || h.answer == CopyAnswer::resend_request) {
    std::snprintf(text, sizeof text, "last heard: %s %s block %u, %.1f s before the end", answer_text(h.answer),
                  h.answer == CopyAnswer::acknowledgement ? "of" : "for", h.block, h.before_end_ms / 1000.0);
  } else {
    std::snprintf(text, sizeof text, "last heard: %s, %.1f s before the end", answer_text(h.answer),
                  h.before_end_ms / 1000.0);
  }
  return text;
}

// What the target's answers tell of it during the copy. Only the acknowledging
// Client acknowledges once the first blocks have gone; a Client that receives
// well is quiet until it is done, so its last word may be old.
std::string what_is_known(CopyEnd end, const TargetState& t, bool acknowledging_named) {
  if (!t.receiving) {
    if (end == CopyEnd::cancelled) return "ready, no block acknowledged yet";
    return "ready, but it acknowledged no block: it refused the image, or no block reached it";
  }
  // Until one is named, every Client acknowledges.
  if (!acknowledging_named) return "receiving";
  if (!t.acknowledging) {
    return "receiving, not the acknowledging Client (such a Client answers only to ask for a lost block)";
  }
  if (end == CopyEnd::no_acknowledger_left) return "";
  return t.replaced ? "it stopped acknowledging and another Client took over" : "the acknowledging Client";
}

}  // namespace

std::string CopyTargetReport::failure_reason(CopyEnd end, const TargetState& t, bool acknowledging_named) {
  std::string why;
  switch (end) {
    case CopyEnd::never_started: {
      const bool answered_start = t.step == TargetStep::ready || t.last_heard.has_value();
      why = answered_start ? "ready, but the copy never started: not every Client answered the start request"
                           : "no answer to the start request";
      break;
    }
    case CopyEnd::late_after_first: why = "not done 5 s after the first Client finished"; break;
    case CopyEnd::no_acknowledger_left:
      why = t.acknowledging ? "fell silent as the acknowledging Client"
                            : "the copy stopped: no acknowledging Client was left";
      break;
    case CopyEnd::cancelled: why = "cancelled"; break;
    case CopyEnd::all_done: why = "did not report completion"; break;
  }
  if (!t.last_heard) return why + "; nothing heard from it";
  if (end != CopyEnd::never_started) {
    if (const std::string known = what_is_known(end, t, acknowledging_named); !known.empty()) why += "; " + known;
  }
  return why + "; " + last_heard_text(*t.last_heard);
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
