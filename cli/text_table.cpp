#include "text_table.h"

#include <algorithm>
#include <cstdio>

#include "model/client_row_text.h"

namespace kestrelon::cli {

std::string text_table(const std::vector<std::vector<std::string>>& lines) {
  std::vector<int> width;
  for (const auto& line : lines) {
    if (width.size() < line.size()) width.resize(line.size(), 0);
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], character_count(line[c]));
  }
  std::string out;
  for (const auto& line : lines) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      text += line[c];
      if (c + 1 < line.size()) text += std::string(static_cast<std::size_t>(width[c] - character_count(line[c]) + 2), ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += (out.empty() ? "" : "\n") + text;
  }
  return out;
}

void print_text_table(const std::vector<std::vector<std::string>>& lines) {
  if (!lines.empty()) std::printf("%s\n", text_table(lines).c_str());
}

}  // namespace kestrelon::cli
