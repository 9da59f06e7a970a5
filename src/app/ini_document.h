#pragma once
// A plain INI text: "[Section]" lines and "key=value" lines. Every line that is
// neither (comments, blank lines, lines before the first section) is kept as it
// was, so rewriting a file changes only the lines that were set or removed.
//
// Section names and keys are looked up without regard to ASCII case and with
// surrounding blanks ignored, as the platform's profile functions do. A value is
// written exactly as given (no quoting, no escaping: commas and inner spaces stay);
// reading either trims the blanks around it, as profile readers do, or keeps it
// verbatim, for stores that wrote the file themselves and need every byte back.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelon {

class IniDocument {
 public:
  enum class ValueSpacing { trimmed, verbatim };

  explicit IniDocument(ValueSpacing spacing = ValueSpacing::trimmed) : spacing_(spacing) {}
  static IniDocument parse(std::string_view text, ValueSpacing spacing);
  std::string text() const;

  // Section names in file order, as written (a name written twice is listed twice).
  std::vector<std::string> section_names() const;
  // From the first section of that name; nullopt when the section or key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // Every key of the first section of that name with its value, in file order.
  std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;
  // Replaces the key's first value or adds the key at the end of the section,
  // adding the section at the end of the text when it is missing. Returns false,
  // changing nothing, for a name or value that the file could not hold (see below).
  bool set_value(std::string_view section, std::string_view key, std::string_view value);
  // Removes every section of that name with its keys; returns whether one existed.
  bool remove_section(std::string_view section);

  // Whether two section names or keys name the same thing: equal after trimming
  // the blanks around them, without regard to ASCII case.
  static bool same_name(std::string_view a, std::string_view b);

  // What a file can hold: no line breaks or NUL bytes anywhere; a section name that
  // is not blank and has no "]"; a key that is not blank, has no "=" and does not
  // start with "[", ";" or "#" (those lines would read back as something else).
  static bool valid_section_name(std::string_view name);
  static bool valid_key(std::string_view key);
  static bool valid_value(std::string_view value);

 private:
  struct Line {
    enum class Kind { other, section, entry } kind = Kind::other;
    std::string raw;   // the line as read or written, without its line break
    std::string name;  // section name or key, blanks trimmed
    std::string value;
  };
  // Index of the header line of the first section of that name, or npos.
  std::size_t find_section(std::string_view section) const;
  std::size_t section_end(std::size_t header) const;

  ValueSpacing spacing_;
  bool byte_order_mark_ = false;
  std::vector<Line> lines_;
};

}  // namespace kestrelon
