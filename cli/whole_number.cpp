#include "whole_number.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace kestrelon::cli {

CLI::Validator whole_number(long long min, long long max) {
  const bool bounded = max != kNoUpperBound;
  const std::string range = bounded ? "from " + std::to_string(min) + " to " + std::to_string(max)
                                    : std::to_string(min) + " or more";
  CLI::Validator check(
      [min, max, range](std::string& text) -> std::string {
        errno = 0;
        char* end = nullptr;
        const long long value = text.empty() ? 0 : std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0') return "'" + text + "' is not a whole number";
        if (errno == ERANGE || value < min || value > max) return text + " is not " + range;
        return {};
      },
      bounded ? "INT in [" + std::to_string(min) + " - " + std::to_string(max) + "]"
              : "INT >= " + std::to_string(min));
  return check;
}

}  // namespace kestrelon::cli
