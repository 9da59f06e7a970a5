#pragma once
// The profile file "kestreln.ini", where the groups of Clients are kept: one
// section per group, keys "0", "1", ... per Client.
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
  // Where the file is: the file $KESTRELON_PROFILE names, when set; else a
  // "kestreln.ini" beside the running program when one exists there (a portable
  // installation, or a file carried over from one); else "kestreln.ini" in
  // `settings_folder`, beside the settings, since a program installed in a system
  // folder cannot write beside itself. Beside the program when `settings_folder`
  // is empty (no home folder known).
  static std::filesystem::path default_path(const std::filesystem::path& settings_folder);
  // The same choice with the environment's file name (`named`, empty when unset)
  // and the program's folder given.
  static std::filesystem::path locate(std::string_view named, const std::filesystem::path& program_folder,
                                      const std::filesystem::path& settings_folder);

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
  // Removes the section with all its keys and writes `values` as its keys "0",
  // "1", ... in one replacement of the file, so a failed write leaves the old
  // section as it was (with no values it only removes the section). False,
  // writing nothing, when the file could not be written or cannot hold the
  // section name or a value.
  bool replace_section(std::string_view section, const std::vector<std::string>& values);

 private:
  std::filesystem::path file_;
};

}  // namespace kestrelon
