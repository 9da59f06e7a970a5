#pragma once
// Text from the network on its way to a terminal: control characters are shown
// as "?", so a Client's name cannot steer the terminal.
#include <string>

namespace kestrelon::cli {

inline std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

}  // namespace kestrelon::cli
