#include "core/builder_texts.h"

namespace kestrelon::builder_window {

std::string format_list(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string out;
  auto value = values.begin();
  while (true) {
    const std::size_t mark = pattern.find("{}");
    if (mark == std::string_view::npos || value == values.end()) {
      out += pattern;
      return out;
    }
    out += pattern.substr(0, mark);
    out += *value++;
    pattern.remove_prefix(mark + 2);
  }
}

}  // namespace kestrelon::builder_window
