#include "model/line_fit.h"

#include "model/client_row_text.h"

namespace kestrelon {

std::string fit_fields(const std::vector<std::string>& fields, int columns) {
  const int room = columns - 1;
  std::string line;
  int width = 0;
  for (const std::string& field : fields) {
    if (field.empty()) continue;
    const int w = character_count(field);
    const int gap = line.empty() ? 0 : 2;
    if (width + gap + w <= room) {
      if (gap) line += "  ";
      line += field;
      width += gap + w;
      continue;
    }
    if (!line.empty()) break;
    // The first field alone is too wide: keep its first `room` characters.
    std::size_t end = 0;
    int kept = 0;
    for (; end < field.size(); ++end) {
      const bool starts_character = (static_cast<unsigned char>(field[end]) & 0xC0) != 0x80;
      if (starts_character && kept++ == room) break;
    }
    return field.substr(0, end);
  }
  return line;
}

}  // namespace kestrelon
