#include "model/text_wrap.h"

namespace kestrelon {

std::vector<std::string> wrap_words(std::string_view text, int width, const TextMeasure& measure) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view paragraph = text.substr(start, end - start);
    std::string line;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
      const std::size_t space = std::min(paragraph.find(' ', pos), paragraph.size());
      const std::string_view word = paragraph.substr(pos, space - pos);
      std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
      if (!line.empty() && measure(candidate) > width) {
        lines.push_back(line);
        line = std::string(word);
      } else {
        line = std::move(candidate);
      }
      pos = space + 1;
    }
    lines.push_back(line);
    if (end == text.size()) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace kestrelon
