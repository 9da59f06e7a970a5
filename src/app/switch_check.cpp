#include "app/switch_check.h"

#include <charconv>
#include <climits>
#include <string_view>

#include "app/command_line.h"

namespace kestrelon {

namespace {

struct Range {
  std::string_view name;
  long long low, high;
};

// What each value can sensibly be; "c", "nd" and "log" change nothing and take
// any 32-bit number.
constexpr Range kRanges[] = {
    {"rc", 1, 100000},  {"rt", 1, 600000},     {"nt", 0, 60000},          {"gut", 1, 3600000},
    {"mttl", 0, 255},   {"c", INT_MIN, INT_MAX}, {"nd", INT_MIN, INT_MAX}, {"log", INT_MIN, INT_MAX},
    {"fast", 0, 1},     {"rate", 0, 100000},
};

const Range* range_of(std::string_view name) {
  for (const Range& r : kRanges)
    if (r.name == name) return &r;
  return nullptr;
}

std::string wanted(const std::string& word, const Range& r) {
  return word + " needs a whole number from " + std::to_string(r.low) + " to " + std::to_string(r.high);
}

}  // namespace

std::string switch_words_problem(const std::vector<std::string>& words) {
  for (std::size_t i = 0; i < words.size(); i += 2) {
    const std::string& word = words[i];
    const bool prefixed = word.size() > 1 && (word[0] == '-' || word[0] == '/');
    const Range* range = prefixed ? range_of(std::string_view(word).substr(1)) : nullptr;
    if (!range || !CShadowCommandLineInfo::is_switch_name(range->name)) {
      return "'" + word + "' is not one of the Controller's switches (-rc, -rt, -nt, -gut, -mttl, -fast, -rate)";
    }
    if (i + 1 >= words.size()) return wanted(word, *range) + " after it";
    const std::string& value = words[i + 1];
    long long n = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, n);
    if (value.empty() || error != std::errc() || stop != end || n < range->low || n > range->high) {
      return wanted(word, *range) + ", not '" + value + "'";
    }
  }
  return {};
}

}  // namespace kestrelon
