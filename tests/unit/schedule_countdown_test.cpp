// The schedule countdown without a window: spins, modes, Start and Stop, the
// 1-second tick against a wall clock that the test moves (late ticks, jumps).
#include "model/schedule_countdown.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "model/schedule_request.h"
#include "model/spin_acceleration.h"

namespace kestrelon {
namespace {

constexpr ScheduleCountdown::Seconds kT0 = 1'800'000'000;  // some moment in 2027

TEST(ScheduleCountdown, ThreeUpClicksInDelayModeGiveThreeMinutesThatMoveWithTheClock) {
  ScheduleCountdown c(kT0);
  c.select_mode(ScheduleCountdown::Mode::delay);
  for (int i = 0; i < 3; ++i) c.spin(+1);
  EXPECT_EQ(c.delay(), 180);
  EXPECT_EQ(c.start(), kT0 + 180);
  EXPECT_EQ(schedule_delay_text(c.delay()), "00:03");

  for (int s = 1; s <= 5; ++s) {
    EXPECT_FALSE(c.tick(kT0 + s));
    EXPECT_EQ(c.delay(), 180) << "the delay stays in delay mode";
    EXPECT_EQ(c.start(), kT0 + s + 180) << "the start moves with the clock";
  }
  EXPECT_TRUE(c.start_enabled());
}

TEST(ScheduleCountdown, StartTimeModeCountsDownAndShowsSecondsInTheLastMinute) {
  ScheduleCountdown c(kT0);
  c.spin(+1);
  c.spin(+1);  // start two minutes ahead, start-time mode
  EXPECT_EQ(c.mode(), ScheduleCountdown::Mode::start_time);
  c.press_start();
  std::vector<std::string> texts;
  bool ended = false;
  ScheduleCountdown::Seconds t = kT0;
  while (!ended) {
    ++t;
    ended = c.tick(t);
    if (auto shown = c.take_display()) texts.push_back(schedule_delay_text(shown->delay));
    ASSERT_LE(t, kT0 + 200) << "the countdown never ended";
  }
  EXPECT_EQ(t, kT0 + 120) << "OK comes in the tick that reaches the start time";
  EXPECT_EQ(texts.front(), "00:01");  // 119 s left
  EXPECT_EQ(texts[58], "00:01");      // 61 s left
  EXPECT_EQ(texts[59], "00:01");      // 60 s left: still a whole minute
  EXPECT_EQ(texts[60], "00:00:59");
  EXPECT_EQ(texts.back(), "00:00:00");
}

TEST(ScheduleCountdown, DownClickWithThirtySecondsLeftGivesZeroAndStartNow) {
  ScheduleCountdown c(kT0);
  c.spin(+1);
  c.tick(kT0 + 30);  // start-time mode: 30 s left
  ASSERT_EQ(c.delay(), 30);
  c.spin(-1);
  EXPECT_EQ(c.delay(), 0);
  EXPECT_EQ(c.start(), kT0 + 30);
}

TEST(ScheduleCountdown, StepsOfTheSpinControl) {
  ScheduleCountdown c(kT0);
  c.spin(5);
  EXPECT_EQ(c.delay(), 900);
  c.spin(20);
  EXPECT_EQ(c.delay(), 4500);
  c.spin(-20);
  c.spin(-5);
  EXPECT_EQ(c.delay(), 0);
  c.spin(2);  // not a step the control reports
  c.spin(-3);
  EXPECT_EQ(c.delay(), 0);
  c.spin(-20);
  EXPECT_EQ(c.delay(), 0);
  EXPECT_EQ(c.start(), kT0);
}

TEST(ScheduleCountdown, StartIsDisabledFromTheFirstTickWhileTheDelayIsZero) {
  ScheduleCountdown c(kT0);
  EXPECT_TRUE(c.start_enabled()) << "before the first tick, as the dialog opens";
  c.tick(kT0 + 1);
  EXPECT_FALSE(c.start_enabled());
  c.tick(kT0 + 2);
  EXPECT_FALSE(c.start_enabled());
  c.spin(+1);
  EXPECT_FALSE(c.start_enabled()) << "enabling changes only in a tick";
  c.tick(kT0 + 3);
  EXPECT_TRUE(c.start_enabled());
}

TEST(ScheduleCountdown, StartWithZeroDelayEndsAtTheNextTick) {
  ScheduleCountdown c(kT0);
  c.press_start();
  EXPECT_TRUE(c.tick(kT0 + 1));
}

TEST(ScheduleCountdown, StartThenStopReturnsToStartTimeModeAndKeepsTheStartTime) {
  ScheduleCountdown c(kT0);
  c.select_mode(ScheduleCountdown::Mode::delay);
  c.spin(+1);
  c.spin(+1);
  c.tick(kT0 + 1);
  const auto start = c.start();
  c.press_start();
  EXPECT_TRUE(c.running());
  EXPECT_FALSE(c.start_enabled());
  EXPECT_TRUE(c.stop_enabled());
  EXPECT_FALSE(c.radios_enabled());
  EXPECT_FALSE(c.delay_controls_enabled());
  EXPECT_FALSE(c.start_time_controls_enabled());
  c.tick(kT0 + 2);
  EXPECT_TRUE(c.blink_enabled());
  c.tick(kT0 + 3);
  EXPECT_FALSE(c.blink_enabled()) << "the Blink button alternates";
  c.press_stop();
  EXPECT_FALSE(c.running());
  EXPECT_EQ(c.mode(), ScheduleCountdown::Mode::start_time);
  EXPECT_TRUE(c.start_time_controls_enabled());
  EXPECT_FALSE(c.delay_controls_enabled());
  c.tick(kT0 + 10);
  EXPECT_FALSE(c.blink_enabled());
  EXPECT_EQ(c.start(), start) << "the start time is kept";
  EXPECT_EQ(c.delay(), start - (kT0 + 10)) << "and the delay goes on shrinking";
}

TEST(ScheduleCountdown, LateTickOrClockSetForwardStartsAtOnceAndNeverShowsANegativeDelay) {
  ScheduleCountdown late(kT0);
  late.spin(+1);
  late.press_start();
  EXPECT_FALSE(late.tick(kT0 + 30));
  EXPECT_TRUE(late.tick(kT0 + 75)) << "a tick 15 s after the start time still starts the copy";
  EXPECT_EQ(late.delay(), 0);
  EXPECT_EQ(late.start(), kT0 + 75);

  ScheduleCountdown jump(kT0);
  jump.spin(+20);  // an hour ahead
  jump.press_start();
  EXPECT_FALSE(jump.tick(kT0 + 1));
  EXPECT_TRUE(jump.tick(kT0 + 2 * 3600)) << "a clock set forward past the start starts at the next tick";
}

TEST(ScheduleCountdown, ClockSetBackwardsKeepsTheStartTimeAndLengthensTheCountdown) {
  ScheduleCountdown c(kT0);
  c.spin(+1);
  c.press_start();
  EXPECT_FALSE(c.tick(kT0 + 10));
  EXPECT_FALSE(c.tick(kT0 - 3600));
  EXPECT_EQ(c.start(), kT0 + 60);
  EXPECT_EQ(c.delay(), 3660);
  EXPECT_TRUE(c.tick(kT0 + 60));
}

TEST(ScheduleCountdown, DisplayOnlyWhenNowOrStartChanged) {
  ScheduleCountdown c(kT0);
  ASSERT_TRUE(c.take_display().has_value()) << "the first values are always shown";
  EXPECT_FALSE(c.take_display().has_value());
  c.select_mode(ScheduleCountdown::Mode::delay);
  EXPECT_FALSE(c.take_display().has_value()) << "a mode change alone redraws nothing";
  c.spin(+1);
  auto shown = c.take_display();
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->start, kT0 + 60);
  c.tick(kT0);  // the same second again
  EXPECT_FALSE(c.take_display().has_value());
}

TEST(ScheduleDelayText, HoursAreNotLimitedToTwoDigits) {
  EXPECT_EQ(schedule_delay_text(100 * 3600), "100:00");
  EXPECT_EQ(schedule_delay_text(3600 + 60 * 5 + 7), "01:05");
  EXPECT_EQ(schedule_delay_text(59), "00:00:59");
  EXPECT_EQ(schedule_delay_text(0), "00:00:00");
}

TEST(SpinAcceleration, HeldArrowStepsOneThenFiveThenTwentyAtASteadyPace) {
  SpinAcceleration a;
  EXPECT_EQ(a.step(0, +1), 1);
  EXPECT_EQ(a.step(30, +1), 0) << "repeats faster than the pace are dropped";
  EXPECT_EQ(a.step(100, +1), 1);
  int applied = 0, fives = 0, twenties = 0;
  for (std::int64_t t = 120; t <= 6000; t += 20) {
    const int s = a.step(t, +1);
    applied += s != 0;
    fives += s == 5;
    twenties += s == 20;
    if (t < SpinAcceleration::kFiveAfterMs) {
      EXPECT_LE(s, 1) << t;
    }
  }
  EXPECT_EQ(fives, 30) << "two to five seconds at ten steps a second";
  EXPECT_EQ(twenties, 11);
  EXPECT_EQ(applied, 59);
  EXPECT_EQ(a.step(7000, +1), 1) << "a new press after a pause starts again at 1";
  EXPECT_EQ(a.step(7100, -1), -1) << "the other arrow starts its own hold";
}

TEST(ScheduleRequest, ClockTimeIsTheNextMomentTheLocalClockShowsIt) {
  std::tm noon{};
  noon.tm_year = 127;  // 2027
  noon.tm_mon = 2;
  noon.tm_mday = 10;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const std::int64_t now = std::mktime(&noon);
  EXPECT_EQ(next_clock_time("13:30", now), now + 90 * 60) << "later today";
  EXPECT_EQ(next_clock_time("7:05", now), now + 19 * 3600 + 5 * 60) << "passed: tomorrow";
  EXPECT_EQ(next_clock_time("12:00", now), now + 24 * 3600) << "now itself has passed";
  for (const char* bad : {"24:00", "12:60", "12:5", "1230", "12:30x", "", ":30", "ab:cd", "123:00"})
    EXPECT_FALSE(next_clock_time(bad, now).has_value()) << bad;
}

TEST(ScheduleRequest, DelaysInHoursMinutesAndSeconds) {
  EXPECT_EQ(parse_delay("90s"), 90);
  EXPECT_EQ(parse_delay("45m"), 45 * 60);
  EXPECT_EQ(parse_delay("2h"), 7200);
  EXPECT_EQ(parse_delay("1h30m"), 5400);
  for (const char* bad : {"", "90", "0s", "5x", "m", "-5s", "5 s", "9999999h"})
    EXPECT_FALSE(parse_delay(bad).has_value()) << bad;
}

TEST(ScheduleCountdown, StartChosenOutrightCountsDownInStartTimeMode) {
  ScheduleCountdown c(kT0);
  c.schedule_at(kT0 + 5);
  EXPECT_EQ(c.delay(), 5);
  c.press_start();
  for (int s = 1; s < 5; ++s) EXPECT_FALSE(c.tick(kT0 + s));
  EXPECT_TRUE(c.tick(kT0 + 5));
  ScheduleCountdown past(kT0);
  past.schedule_at(kT0 - 100);
  EXPECT_EQ(past.start(), kT0);
}

}  // namespace
}  // namespace kestrelon
