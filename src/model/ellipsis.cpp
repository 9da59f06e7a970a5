#include "model/ellipsis.h"

namespace kestrelon {
namespace {

constexpr std::string_view kDots = "...";

bool continuation_byte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::size_t utf8_length(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if (!continuation_byte(c)) ++n;
  return n;
}

std::size_t utf8_prefix_bytes(std::string_view text, std::size_t characters) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (continuation_byte(static_cast<unsigned char>(text[i]))) continue;
    if (seen == characters) return i;
    ++seen;
  }
  return text.size();
}

std::string label_ellipsis(std::string_view text, int width, const TextMeasure& measure) {
  if (text.empty() || measure(text) <= width) return std::string(text);
  for (std::size_t keep = utf8_length(text); keep-- > 0;) {
    std::string candidate(text.substr(0, utf8_prefix_bytes(text, keep)));
    candidate += kDots;
    if (measure(candidate) <= width) return candidate;
  }
  return std::string(kDots);
}

std::string list_cell_ellipsis(std::string_view text, int width, int margin, const TextMeasure& measure) {
  if (text.empty() || measure(text) + margin <= width) return std::string(text);
  const int dots_width = measure(kDots);
  const std::size_t length = utf8_length(text);
  // One character always stays, even when nothing fits.
  std::size_t keep = 1;
  for (std::size_t i = length - 1; i >= 1; --i) {
    if (measure(text.substr(0, utf8_prefix_bytes(text, i))) + margin + dots_width <= width) {
      keep = i;
      break;
    }
  }
  std::string shortened(text.substr(0, utf8_prefix_bytes(text, keep)));
  shortened += kDots;
  if (measure(shortened) + margin <= width) return shortened;
  for (std::string_view dots : {kDots, kDots.substr(0, 2), kDots.substr(0, 1)})
    if (measure(dots) + margin <= width) return std::string(dots);
  return {};
}

}  // namespace kestrelon
