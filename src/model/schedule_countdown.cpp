#include "model/schedule_countdown.h"

#include <cstdio>
#include <ctime>

namespace kestrelon {

ScheduleCountdown::ScheduleCountdown(Seconds now) : now_(now), start_(now) {}

ScheduleCountdown::Seconds ScheduleCountdown::spin_seconds(int reported_step) {
  switch (reported_step) {
    case 1: return 60;
    case -1: return -60;
    case 5: return 900;
    case -5: return -900;
    case 20: return 3600;
    case -20: return -3600;
    default: return 0;
  }
}

void ScheduleCountdown::spin(int reported_step) {
  delay_ += spin_seconds(reported_step);
  start_ = now_ + delay_;
  if (delay_ < 0) {
    delay_ = 0;
    start_ = now_;
  }
}

void ScheduleCountdown::schedule_at(Seconds start) {
  mode_ = Mode::start_time;
  start_ = start < now_ ? now_ : start;
  delay_ = start_ - now_;
}

void ScheduleCountdown::select_mode(Mode mode) {
  if (!running_) mode_ = mode;
}

void ScheduleCountdown::press_start() { running_ = true; }

void ScheduleCountdown::press_stop() {
  running_ = false;
  mode_ = Mode::start_time;
}

bool ScheduleCountdown::tick(Seconds now) {
  if (running_) {
    blink_ = !blink_;
    now_ = now;
    // A late tick or a clock set forward past the start: start now, not later.
    if (start_ < now_) start_ = now_;
    delay_ = start_ - now_;
    return start_ == now_;
  }
  blink_ = false;
  // From the values of the previous tick: with a delay of 0 there is nothing to
  // count down, so Start is disabled from the first tick on.
  start_enabled_ = now_ != start_;
  now_ = now;
  if (mode_ == Mode::start_time) {
    // The start time stays where the user put it; the delay shrinks.
    if (start_ < now_) start_ = now_;
    delay_ = start_ - now_;
  } else {
    // The delay stays; the start time moves with the clock.
    start_ = now_ + delay_;
  }
  return false;
}

std::optional<ScheduleCountdown::Shown> ScheduleCountdown::take_display() {
  if (last_shown_ && last_shown_->now == now_ && last_shown_->start == start_) return std::nullopt;
  last_shown_ = Shown{now_, start_, delay_};
  return last_shown_;
}

std::string schedule_delay_text(ScheduleCountdown::Seconds delay) {
  const long long hours = delay / 3600;
  const long long minutes = delay / 60 - hours * 60;
  const long long seconds = delay % 60;
  char text[64];
  if (hours > 0 || minutes > 0) {
    std::snprintf(text, sizeof text, "%02lld:%02lld", hours, minutes);
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", hours, minutes, seconds);
  }
  return text;
}

std::string schedule_time_text(ScheduleCountdown::Seconds time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, "%x, %H:%M", &local);
  return std::string(text, n);
}

}  // namespace kestrelon
