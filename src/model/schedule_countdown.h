#pragma once
// The window-free half of the "Set Schedule Time" dialog: the current time, the
// start time and the delay between them, the two modes (a clock time, or a delay
// that moves with the clock), the running countdown and which controls are
// enabled. The dialog's 1-second timer calls tick with the wall clock read at that
// moment, its spin controls call spin, its buttons press_start / press_stop; the
// dialog renders display() and the enabling. The command line runs the same model
// for `copy --at` / `--after`.
//
// Times are wall-clock seconds (time_t). The start is a clock time: a tick that
// arrives late, or a clock set forward past the start, ends the countdown at the
// next tick; a clock set backwards lengthens the countdown, so the copy still starts
// when the clock shows the start time.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrelon {

class ScheduleCountdown {
 public:
  using Seconds = std::int64_t;

  enum class Mode { start_time, delay };

  // What the dialog shows; handed out only when now or start changed.
  struct Shown {
    Seconds now = 0;
    Seconds start = 0;
    Seconds delay = 0;
  };

  // The dialog's start: now = start = `now`, delay 0, stopped, start-time mode.
  explicit ScheduleCountdown(Seconds now);

  // A spin notification with the step the spin control reports: ±1, ±5, ±20
  // change the delay by ±60 s, ±900 s, ±3600 s; any other step changes nothing.
  // The start follows (now + delay); a delay below 0 becomes 0.
  void spin(int reported_step);

  // A start time chosen outright (the command line's --at and --after): start-time
  // mode with the start at `start`, or now when that has passed.
  void schedule_at(Seconds start);

  // A radio button: the edit and spin of that choice are enabled.
  void select_mode(Mode mode);

  void press_start();
  // Back to start-time mode, the start time kept.
  void press_stop();

  // The 1-second timer with the current wall-clock time. True when the start time
  // has been reached while running: the dialog ends with OK in this tick.
  bool tick(Seconds now);

  // The values to draw, when now or start differ from what was last drawn.
  std::optional<Shown> take_display();

  Seconds now() const { return now_; }
  Seconds start() const { return start_; }
  Seconds delay() const { return delay_; }
  Mode mode() const { return mode_; }
  bool running() const { return running_; }

  // Enabling of the controls.
  bool start_enabled() const { return !running_ && start_enabled_; }
  bool stop_enabled() const { return running_; }
  bool radios_enabled() const { return !running_; }
  bool start_time_controls_enabled() const { return !running_ && mode_ == Mode::start_time; }
  bool delay_controls_enabled() const { return !running_ && mode_ == Mode::delay; }
  // The "Blink" button alternates while running and is disabled otherwise.
  bool blink_enabled() const { return blink_; }

  // The spin step's change of the delay in seconds; 0 for a step of no meaning.
  static Seconds spin_seconds(int reported_step);

 private:
  Seconds now_;
  Seconds start_;
  Seconds delay_ = 0;
  Mode mode_ = Mode::start_time;
  bool running_ = false;
  bool start_enabled_ = true;
  bool blink_ = false;
  std::optional<Shown> last_shown_;
};

// The delay as the dialog shows it: "%02d:%02d" (hours, minutes; hours not limited
// to two digits) while a minute or more is left, else "%02d:%02d:%02d".
std::string schedule_delay_text(ScheduleCountdown::Seconds delay);

// A clock time as the dialog shows it: the locale's date, then ", " and the 24-hour
// time ("%x, %H:%M"), in local time.
std::string schedule_time_text(ScheduleCountdown::Seconds time);

}  // namespace kestrelon
