#pragma once
// The countdown of the self-closing message ("Restoring Connections..." after a
// Copy): a window timer ticks every 3000 ms, and the tick that finds the 7000 ms
// deadline passed closes the message, so it stays about 9 seconds. The dialog
// owns the timer; this holds the rule and is driven with the tick count.
#include "platform/tick.h"

namespace kestrelon {

class TimedMessage {
 public:
  static constexpr int kTickPeriodMs = 3000;
  static constexpr Tick kDeadlineMs = 7000;

  // The timer's identifier is the text's string number, so ticks of other timers
  // are told apart.
  explicit TimedMessage(int timer_id) : timer_id_(timer_id) {}

  int timer_id() const { return timer_id_; }
  // The dialog has opened at `now`: the deadline becomes absolute.
  void start(Tick now) { deadline_ = now + kDeadlineMs; }
  // A timer tick with `timer_id` at `now`: true when the message closes.
  bool closes_at(int timer_id, Tick now) const { return timer_id == timer_id_ && tick_later(now, deadline_); }

 private:
  int timer_id_;
  Tick deadline_ = kDeadlineMs;
};

}  // namespace kestrelon
