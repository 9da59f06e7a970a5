#pragma once
// A copied Windows takes its computer name in its SYSTEM registry hive, edited
// offline with hivex (a library made for Windows hives): in every control set,
// ComputerName (the NetBIOS name: upper case, 15 characters at most) and the
// TCP/IP host name ("Hostname", "NV Hostname"), as Windows' own rename leaves
// them for the next start. A hive whose transaction logs hold changes not yet
// written into it (Windows did not shut down cleanly) is left as it is: Windows
// would replay the logs over the new name, or refuse them.
#include <optional>
#include <string>
#include <string_view>

#include "linux_naming.h"
#include "ntfs_files.h"

namespace kestrelon::client {

inline constexpr const char* kSystemHivePath = "/Windows/System32/config/SYSTEM";

// Gives the hive file at `hive_path` the name; "" or why not. `old_name` gets
// the ComputerName of the current control set when it has one.
std::string name_system_hive(const std::string& hive_path, const std::string& name, std::string* old_name);

// Whether a hive's first bytes say its logs hold changes not yet in it.
bool hive_has_pending_log(std::string_view hive);

// Gives the Windows on the NTFS volume of `length` bytes at `offset` on `disk`
// the name. Nothing when the volume holds none. The volume is looked at read-only
// first: one holding no Windows, or a Windows that cannot be named, is left
// without a byte changed.
std::optional<SystemNaming> name_windows(const std::string& disk, std::uint64_t offset, std::uint64_t length,
                                         const std::string& name);

}  // namespace kestrelon::client
