#include "app/command_line.h"

#include "model/decimal_text.h"

namespace kestrelon {

CShadowCommandLineInfo::Switch CShadowCommandLineInfo::switch_named(std::string_view name) {
  if (name == "c") return Switch::c;
  if (name == "nd") return Switch::nd;
  if (name == "rc") return Switch::rc;
  if (name == "rt") return Switch::rt;
  if (name == "nt") return Switch::nt;
  if (name == "gut") return Switch::gut;
  if (name == "mttl") return Switch::mttl;
  if (name == "fast") return Switch::fast;
  if (name == "rate") return Switch::rate;
  if (name == "log") return Switch::log;
  return Switch::none;
}

void CShadowCommandLineInfo::parse_param(std::string_view word, bool is_switch, bool /*is_last*/) {
  if (is_switch) {
    if (const Switch s = switch_named(word); s != Switch::none) pending_ = s;
    return;
  }
  const int value = decimal_value(word);
  switch (pending_) {
    case Switch::none: break;
    case Switch::c:
      if (c_value_ == 0) c_value_ = value;
      break;
    case Switch::nd: nd_flag_ = true; break;
    case Switch::rc: tuning_.window_full_timeouts = value; break;
    case Switch::rt: tuning_.ack_timeout_ms = value; break;
    case Switch::nt: tuning_.resend_delay_ms = value; break;
    case Switch::gut: tuning_.create_inactivity_ms = value; break;
    case Switch::mttl: tuning_.multicast_ttl = value; break;
    case Switch::fast: tuning_.fast_copy = value; break;
    case Switch::rate: tuning_.rate_cap_mbs = value; break;
    case Switch::log: log_flag_ = value == 42; break;
  }
}

void parse_command_line(const std::vector<std::string>& words, CShadowCommandLineInfo& info) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool is_switch = !w.empty() && (w[0] == '/' || w[0] == '-');
    info.parse_param(is_switch ? std::string_view(w).substr(1) : std::string_view(w), is_switch,
                     i + 1 == words.size());
  }
}

}  // namespace kestrelon
