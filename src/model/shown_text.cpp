#include "model/shown_text.h"

#include <cstdint>
#include <cstdio>

namespace kestrelon {

namespace {

// C1 controls, the direction marks, embeddings, overrides and isolates, and the
// line and paragraph separators.
bool hidden_code_point(std::uint32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// The length of the UTF-8 sequence at `at` and its code point; 0 when the bytes
// there are not one (a stray continuation byte, a sequence cut short, an overlong
// or surrogate form).
std::size_t decode(std::string_view s, std::size_t at, std::uint32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
  const unsigned char b = byte(0);
  std::size_t length;
  if (b < 0x80) {
    c = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string shown_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[12];
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t c = 0;
    const std::size_t length = decode(text, at, c);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[at]));
      out += escape;
      ++at;
      continue;
    }
    if (hidden_code_point(c)) {
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out;
}

}  // namespace kestrelon
