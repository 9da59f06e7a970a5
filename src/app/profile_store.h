#pragma once
// The profile file "kestreln.ini" beside the program file, where the groups of
// Clients are kept: one section per group, keys "0", "1", ... per Client.
//
// It is a plain INI file that other INI readers accept. Sections and keys are
// found without regard to ASCII case; values are written unchanged (commas and
// spaces included) and read back with surrounding blanks trimmed, as the
// platform's profile functions do. Reads of a missing file see an empty file.
// Every write replaces the file through a temporary file, so a failed write never
// loses the groups already saved.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

class ProfileStore {
 public:
  static constexpr const char* kFileName = "kestreln.ini";
  // Texts read from the file are cut to this many bytes.
  static constexpr std::size_t kMaxTextBytes = 1023;
  static constexpr int kMaxListKeys = 1000;

  explicit ProfileStore(std::filesystem::path file) : file_(std::move(file)) {}
  // "kestreln.ini" in the folder of the running program; $KESTRELON_PROFILE names
  // another file (tests, and several installations sharing one program folder).
  static std::filesystem::path default_path();

  const std::filesystem::path& path() const { return file_; }

  // Appends every section name, in file order.
  void list_sections(std::vector<std::string>& names) const;
  // Appends the values of the keys "0", "1", ... up to "999", stopping before the
  // first missing or empty one.
  void read_list(std::string_view section, std::vector<std::string>& values) const;
  // The value, or empty when missing.
  std::string read_value(std::string_view section, std::string_view key) const;
  // Writes the key. A null key or value does nothing. Returns false when the file
  // could not be written or cannot hold the name or value (a line break, a "]" in a
  // section name, an "=" in a key): nothing is written then.
  bool write_value(std::string_view section, std::optional<std::string_view> key,
                   std::optional<std::string_view> value);
  // Removes the section with all its keys. True when it is gone (or was never there).
  bool delete_section(std::string_view section);

 private:
  std::filesystem::path file_;
};

}  // namespace kestrelon
