#include "app/ini_document.h"

namespace kestrelon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool has_any(std::string_view s, std::string_view chars) { return s.find_first_of(chars) != std::string_view::npos; }

const std::string_view kLineBreaksAndNul("\r\n\0", 3);

}  // namespace

bool IniDocument::same_name(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

IniDocument IniDocument::parse(std::string_view text, ValueSpacing spacing) {
  IniDocument doc(spacing);
  if (text.starts_with(kByteOrderMark)) {
    doc.byte_order_mark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    Line line;
    line.raw = raw;
    const std::string_view t = trim(raw);
    if (t.starts_with('[')) {
      const std::size_t close = t.find(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Kind::section;
        line.name = trim(t.substr(1, close - 1));
      }
    } else if (!t.starts_with(';') && !t.starts_with('#')) {
      const std::size_t eq = raw.find('=');
      if (eq != std::string_view::npos && !trim(raw.substr(0, eq)).empty()) {
        line.kind = Line::Kind::entry;
        line.name = trim(raw.substr(0, eq));
        const std::string_view value = raw.substr(eq + 1);
        line.value = spacing == ValueSpacing::trimmed ? trim(value) : value;
      }
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::string IniDocument::text() const {
  std::string out(byte_order_mark_ ? kByteOrderMark : std::string_view());
  for (const Line& line : lines_) {
    out += line.raw;
    out += '\n';
  }
  return out;
}

std::vector<std::string> IniDocument::section_names() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    if (line.kind == Line::Kind::section) names.push_back(line.name);
  }
  return names;
}

std::size_t IniDocument::find_section(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Line::Kind::section && same_name(lines_[i].name, section)) return i;
  }
  return std::string::npos;
}

std::size_t IniDocument::section_end(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Line::Kind::section) ++i;
  return i;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
  const std::size_t header = find_section(section);
  if (header == std::string::npos) return std::nullopt;
  const std::size_t end = section_end(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::Kind::entry && same_name(lines_[i].name, key)) return lines_[i].value;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniDocument::entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> found;
  const std::size_t header = find_section(section);
  if (header == std::string::npos) return found;
  const std::size_t end = section_end(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::Kind::entry) found.emplace_back(lines_[i].name, lines_[i].value);
  }
  return found;
}

bool IniDocument::set_value(std::string_view section, std::string_view key, std::string_view value) {
  if (!valid_section_name(section) || !valid_key(key) || !valid_value(value)) return false;
  Line entry;
  entry.kind = Line::Kind::entry;
  entry.name = trim(key);
  entry.raw = entry.name + "=" + std::string(value);
  entry.value = spacing_ == ValueSpacing::trimmed ? trim(value) : value;

  std::size_t header = find_section(section);
  if (header == std::string::npos) {
    Line head;
    head.kind = Line::Kind::section;
    head.name = trim(section);
    head.raw = "[" + head.name + "]";
    lines_.push_back(std::move(head));
    lines_.push_back(std::move(entry));
    return true;
  }
  std::size_t end = section_end(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Line::Kind::entry && same_name(lines_[i].name, key)) {
      lines_[i] = std::move(entry);
      return true;
    }
  }
  // After the section's last key, so blank lines that separate it from the next
  // section stay below it.
  std::size_t at = end;
  while (at > header + 1 && lines_[at - 1].kind == Line::Kind::other && trim(lines_[at - 1].raw).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  return true;
}

bool IniDocument::remove_section(std::string_view section) {
  bool removed = false;
  for (std::size_t header = find_section(section); header != std::string::npos; header = find_section(section)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(section_end(header)));
    removed = true;
  }
  return removed;
}

bool IniDocument::valid_section_name(std::string_view name) {
  return !trim(name).empty() && !has_any(name, kLineBreaksAndNul) && name.find(']') == std::string_view::npos;
}

bool IniDocument::valid_key(std::string_view key) {
  const std::string_view t = trim(key);
  return !t.empty() && !has_any(key, kLineBreaksAndNul) && key.find('=') == std::string_view::npos &&
         !t.starts_with('[') && !t.starts_with(';') && !t.starts_with('#');
}

bool IniDocument::valid_value(std::string_view value) { return !has_any(value, kLineBreaksAndNul); }

}  // namespace kestrelon
