#include "model/client_row_text.h"

#include "model/decimal_text.h"

namespace kestrelon {

std::string disk_marks(int count) {
  std::string marks;
  for (int i = 0; i < count; ++i) marks += kDiskMark;
  return marks;
}

int character_count(std::string_view text) {
  int count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string target_text(int disk_index, std::int64_t size_mb) {
  return "Disk " + std::to_string(disk_index + 1) + " (" + std::to_string(size_mb) + "Mb)";
}

int disk_index_from_target(std::string_view target) {
  if (target.size() <= 5 || target[5] < '0' || target[5] > '9') return -1;
  return target[5] - '0' - 1;
}

int size_from_target(std::string_view target) {
  const std::size_t open = target.find('(');
  if (open == std::string_view::npos) return 0;
  std::string_view inside = target.substr(open + 1);
  const std::size_t mb = inside.find("Mb");
  if (mb != std::string_view::npos) inside = inside.substr(0, mb);
  return decimal_value(inside);
}

std::optional<Ipv4Address> address_from_padded_text(std::string_view text) {
  if (text.size() != 15) return std::nullopt;
  std::uint32_t value = 0;
  for (int octet = 0; octet < 4; ++octet) {
    const std::size_t at = static_cast<std::size_t>(octet) * 4;
    if (octet < 3 && text[at + 3] != '.') return std::nullopt;
    int part = 0;
    for (std::size_t i = at; i < at + 3; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      part = part * 10 + (text[i] - '0');
    }
    if (part > 255) return std::nullopt;
    value = (value << 8) | static_cast<std::uint32_t>(part);
  }
  return Ipv4Address(value);
}

ClientRowFields fields_from_cells(std::string_view name, std::string_view address, std::string_view marks,
                                  std::string_view target) {
  ClientRowFields f;
  f.name = name;
  f.address = address;
  f.disk_count = character_count(marks);
  f.disk_index = disk_index_from_target(target);
  f.size_mb = size_from_target(target);
  return f;
}

std::string row_string(const ClientRowFields& f, bool checked) {
  return f.name + "|<1>|" + f.address + "|<2>|" + std::to_string(f.disk_count) + "|<3>|" +
         std::to_string(f.disk_index) + "|<4>|" + std::to_string(f.size_mb) + "|<5>|" +
         (checked ? "Check" : "Uncheck");
}

}  // namespace kestrelon
