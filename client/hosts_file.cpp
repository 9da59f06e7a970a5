#include "hosts_file.h"

#include <algorithm>
#include <cctype>

namespace kestrelon::client {
namespace {

bool same_text(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// The line with every host field naming `old_name` renamed; `changed` is set
// when one did.
std::string rename_line(std::string_view line, std::string_view old_name, std::string_view new_name, bool& changed) {
  const std::size_t comment = std::min(line.find('#'), line.size());
  std::string out;
  std::size_t i = 0;
  int field = 0;
  while (i < comment) {
    if (blank(line[i])) {
      out += line[i++];
      continue;
    }
    std::size_t end = i;
    while (end < comment && !blank(line[end])) ++end;
    const std::string_view word = line.substr(i, end - i);
    const std::string_view label = word.substr(0, std::min(word.find('.'), word.size()));
    // Field 0 is the address; a full name keeps its domain.
    if (field > 0 && same_text(label, old_name)) {
      out += std::string(new_name) + std::string(word.substr(label.size()));
      changed = true;
    } else {
      out += word;
    }
    ++field;
    i = end;
  }
  out += line.substr(comment);
  return out;
}

}  // namespace

std::string renamed_hosts(std::string_view hosts, std::string_view old_name, std::string_view new_name) {
  // "localhost" is no PC's own name: lines giving it stay as they are.
  const bool has_old = !old_name.empty() && !same_text(old_name, "localhost");
  std::string out;
  bool changed = false;
  std::size_t start = 0;
  while (start < hosts.size()) {
    std::size_t end = hosts.find('\n', start);
    const bool ended = end != std::string_view::npos;
    if (!ended) end = hosts.size();
    const std::string_view line = hosts.substr(start, end - start);
    out += has_old ? rename_line(line, old_name, new_name, changed) : std::string(line);
    if (ended) out += '\n';
    start = end + 1;
  }
  if (!changed) {
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += "127.0.1.1\t" + std::string(new_name) + "\n";
  }
  return out;
}

}  // namespace kestrelon::client
