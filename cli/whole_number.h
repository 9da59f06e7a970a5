#pragma once
// The check of an option that takes a whole number, with messages a person
// reads at once: "'abc' is not a whole number", "9 is not from 1 to 4". The
// help shows the range as "INT in [1 - 4]" (or "INT >= 0").
#include <CLI/CLI.hpp>
#include <limits>

namespace kestrelon::cli {

inline constexpr long long kNoUpperBound = std::numeric_limits<long long>::max();

CLI::Validator whole_number(long long min, long long max = kNoUpperBound);

}  // namespace kestrelon::cli
