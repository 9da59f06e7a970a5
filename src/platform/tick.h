#pragma once
// The millisecond tick count and deadline arithmetic used by every timer of the
// Controller. Ticks are unsigned 32-bit and wrap after about 49.7 days.
#include <cstdint>

namespace kestrelon {

using Tick = std::uint32_t;

// Milliseconds of a monotonic clock, truncated to 32 bits.
Tick tick_count();

// True when `now` is strictly later than `deadline`. The difference is read as a
// signed 32-bit value so that a deadline computed just before the counter wraps
// still lies in the future right after the wrap (a plain `now > deadline` would
// call every such deadline passed at once and abort transfers spuriously).
constexpr bool tick_later(Tick now, Tick deadline) {
  return static_cast<std::int32_t>(now - deadline) > 0;
}

// True when `now` has reached `deadline` (equal or later).
constexpr bool tick_reached(Tick now, Tick deadline) {
  return !tick_later(deadline, now);
}

}  // namespace kestrelon
