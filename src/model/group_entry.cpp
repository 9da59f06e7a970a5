#include "model/group_entry.h"

#include <array>

#include "model/client_row_text.h"

namespace kestrelon {

namespace {

// "%ld" of a number: digits, after a minus sign for a negative one (a selected
// disk of -1 is written as such).
bool is_decimal(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Splits `text` at its first N - 1 commas into N parts; the last part keeps the
// rest, commas included. Parts past the last comma are empty.
template <std::size_t N>
std::array<std::string_view, N> split_fields(std::string_view text) {
  std::array<std::string_view, N> fields{};
  for (std::size_t i = 0; i + 1 < N; ++i) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) {
      fields[i] = text;
      return fields;
    }
    fields[i] = text.substr(0, comma);
    text.remove_prefix(comma + 1);
  }
  fields[N - 1] = text;
  return fields;
}

// Whether the text after a name's end reads as "address,count,disk,".
bool member_fields_follow(std::string_view rest) {
  const std::size_t c1 = rest.find(',');
  if (c1 == std::string_view::npos || !address_from_padded_text(rest.substr(0, c1))) return false;
  const std::size_t c2 = rest.find(',', c1 + 1);
  if (c2 == std::string_view::npos || !is_decimal(rest.substr(c1 + 1, c2 - c1 - 1))) return false;
  const std::size_t c3 = rest.find(',', c2 + 1);
  return c3 != std::string_view::npos && is_decimal(rest.substr(c2 + 1, c3 - c2 - 1));
}

}  // namespace

std::string format_group_entry(const ClientRowFields& f) {
  std::string name = f.name;
  for (char& c : name)
    if (c == '\r' || c == '\n' || c == '\0') c = '?';
  return name + "," + f.address + "," + std::to_string(f.disk_count) + "," + std::to_string(f.disk_index) + "," +
         std::to_string(f.size_mb);
}

GroupEntry parse_group_entry(std::string_view entry) {
  for (std::size_t comma = entry.find(','); comma != std::string_view::npos; comma = entry.find(',', comma + 1)) {
    if (!member_fields_follow(entry.substr(comma + 1))) continue;
    const auto f = split_fields<4>(entry.substr(comma + 1));
    return {std::string(entry.substr(0, comma)), std::string(f[0]), std::string(f[1]), std::string(f[2]),
            std::string(f[3])};
  }
  const auto f = split_fields<5>(entry);
  return {std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]), std::string(f[4])};
}

}  // namespace kestrelon
