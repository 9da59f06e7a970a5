#pragma once
// A typed field without the blanks around it: what the user meant to type.
#include <string>
#include <string_view>

namespace kestrelon::builder_window {

inline std::string trimmed(std::string_view text) {
  const auto begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const auto end = text.find_last_not_of(" \t");
  return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace kestrelon::builder_window
