#pragma once
// The first line of a small text file, such as a sysfs attribute; empty when the
// file cannot be read.
#include <filesystem>
#include <fstream>
#include <string>

namespace kestrelon::client {

inline std::string first_line(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace kestrelon::client
