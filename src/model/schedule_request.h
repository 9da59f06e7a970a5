#pragma once
// The start of a scheduled copy as a command line names it: a clock time "HH:MM"
// (today, or tomorrow when that time has passed) or a delay such as "90s", "45m",
// "2h" or "1h30m". Both become a wall-clock start time for ScheduleCountdown.
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrelon {

// "HH:MM" (24-hour, one or two digits for the hour) → the next moment the local
// clock shows it, strictly after `now`; nothing for any other text.
std::optional<std::int64_t> next_clock_time(std::string_view text, std::int64_t now);

// A delay in seconds: one or more numbers each followed by "h", "m" or "s"
// ("90s", "45m", "2h", "1h30m"); nothing for any other text, a total of 0, or one
// beyond a year.
std::optional<std::int64_t> parse_delay(std::string_view text);

}  // namespace kestrelon
