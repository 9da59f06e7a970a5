#include "text_table.h"

#include <algorithm>
#include <cstdio>

#include "model/client_row_text.h"

namespace kestrelon::cli {

void print_text_table(const std::vector<std::vector<std::string>>& lines) {
  std::vector<int> width;
  for (const auto& line : lines) {
    if (width.size() < line.size()) width.resize(line.size(), 0);
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], character_count(line[c]));
  }
  for (const auto& line : lines) {
    std::string out;
    for (std::size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out += std::string(static_cast<std::size_t>(width[c] - character_count(line[c]) + 2), ' ');
    }
    std::printf("%s\n", out.c_str());
  }
}

}  // namespace kestrelon::cli
