#include "platform/mac_address.h"

#include <cstdio>

namespace kestrelon {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string joined(const MacAddress::Bytes& b, char separator) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x%c%02x%c%02x%c%02x%c%02x%c%02x", b[0], separator, b[1], separator, b[2],
                separator, b[3], separator, b[4], separator, b[5]);
  return text;
}

}  // namespace

bool MacAddress::is_zero() const {
  for (std::uint8_t b : bytes_)
    if (b != 0) return false;
  return true;
}

std::string MacAddress::text() const { return joined(bytes_, ':'); }

std::string MacAddress::hyphen_text() const { return joined(bytes_, '-'); }

std::optional<MacAddress> MacAddress::parse(std::string_view text) {
  const bool separated = text.size() == 17;
  if (!separated && text.size() != 12) return std::nullopt;
  const char separator = separated ? text[2] : '\0';
  if (separated && separator != ':' && separator != '-') return std::nullopt;
  Bytes bytes{};
  std::size_t i = 0;
  for (std::size_t b = 0; b < bytes.size(); ++b) {
    if (separated && b > 0) {
      if (text[i] != separator) return std::nullopt;
      ++i;
    }
    const int high = hex_digit(text[i]);
    const int low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[b] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return MacAddress(bytes);
}

}  // namespace kestrelon
