#include "platform/tick.h"

#include <time.h>

namespace kestrelon {

Tick tick_count() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<Tick>(ms);
}

}  // namespace kestrelon
