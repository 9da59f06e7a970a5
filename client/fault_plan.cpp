#include "fault_plan.h"

#include <cmath>

namespace kestrelon::client {

std::uint64_t SeededDice::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

FaultInjector::FaultInjector(const FaultPlan& plan, std::uint64_t stream)
    : plan_(plan),
      in_(plan.seed ^ (stream * 0xD1B54A32D192ED03ull) ^ 0x1111),
      out_(plan.seed ^ (stream * 0xD1B54A32D192ED03ull) ^ 0x2222) {}

Fate FaultInjector::decide(SeededDice& dice, double drop, double duplicate, double delay) {
  if (drop <= 0 && duplicate <= 0 && delay <= 0) return Fate::pass;
  const auto points = [](double percent) { return static_cast<std::uint32_t>(std::lround(percent * 100)); };
  const std::uint32_t r = dice.basis_points();
  std::uint32_t limit = points(drop);
  if (r < limit) return Fate::drop;
  limit += points(duplicate);
  if (r < limit) return Fate::duplicate;
  limit += points(delay);
  if (r < limit) return Fate::delay;
  return Fate::pass;
}

}  // namespace kestrelon::client
