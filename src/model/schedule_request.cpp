#include "model/schedule_request.h"

#include <cctype>
#include <ctime>

namespace kestrelon {

namespace {

constexpr std::int64_t kLongestDelay = 366LL * 24 * 3600;

// Digits at `text[i]` on, at most `max_digits`; advances `i`.
std::optional<std::int64_t> read_number(std::string_view text, std::size_t& i, std::size_t max_digits) {
  const std::size_t begin = i;
  std::int64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - begin < max_digits) {
    value = value * 10 + (text[i] - '0');
    ++i;
  }
  if (i == begin) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int64_t> next_clock_time(std::string_view text, std::int64_t now) {
  std::size_t i = 0;
  const auto hour = read_number(text, i, 2);
  if (!hour || i >= text.size() || text[i] != ':') return std::nullopt;
  ++i;
  const std::size_t minute_begin = i;
  const auto minute = read_number(text, i, 2);
  if (!minute || i != text.size() || i - minute_begin != 2 || *hour > 23 || *minute > 59) return std::nullopt;

  const std::time_t t = static_cast<std::time_t>(now);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::nullopt;
  for (int days_ahead = 0; days_ahead <= 2; ++days_ahead) {
    std::tm at = local;
    at.tm_mday += days_ahead;
    at.tm_hour = static_cast<int>(*hour);
    at.tm_min = static_cast<int>(*minute);
    at.tm_sec = 0;
    at.tm_isdst = -1;  // whatever daylight saving time says on that day
    const std::time_t start = std::mktime(&at);
    if (start != static_cast<std::time_t>(-1) && start > t) return static_cast<std::int64_t>(start);
  }
  return std::nullopt;
}

std::optional<std::int64_t> parse_delay(std::string_view text) {
  std::int64_t total = 0;
  std::size_t i = 0;
  if (text.empty()) return std::nullopt;
  while (i < text.size()) {
    const auto number = read_number(text, i, 9);
    if (!number || i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case 'h': total += *number * 3600; break;
      case 'm': total += *number * 60; break;
      case 's': total += *number; break;
      default: return std::nullopt;
    }
    ++i;
    if (total > kLongestDelay) return std::nullopt;
  }
  if (total <= 0) return std::nullopt;
  return total;
}

}  // namespace kestrelon
