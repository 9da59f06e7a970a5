#include "windows_naming.h"

#include <hivex.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "model/computer_name.h"
#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

// A hive as large as a SYSTEM hive grows is a few tens of MiB.
constexpr std::size_t kHiveLimit = 256u << 20;

struct Hive {
  hive_h* h;
  ~Hive() {
    if (h) hivex_close(h);
  }
};

// REG_SZ data: UTF-16LE with its terminating NUL. Names are ASCII.
std::string registry_text(std::string_view text) {
  std::string data;
  for (char c : text) {
    data += c;
    data += '\0';
  }
  return data + std::string(2, '\0');
}

bool set_text(hive_h* h, hive_node_h node, const char* key, std::string_view text) {
  std::string data = registry_text(text);
  const hive_set_value value{const_cast<char*>(key), hive_t_REG_SZ, data.size(), data.data()};
  return hivex_node_set_value(h, node, &value, 0) == 0;
}

// The node at `path` ("Control\\ComputerName\\ComputerName") below `node`, or 0.
hive_node_h child_path(hive_h* h, hive_node_h node, std::string_view path) {
  while (node != 0 && !path.empty()) {
    const auto slash = path.find('\\');
    node = hivex_node_get_child(h, node, std::string(path.substr(0, slash)).c_str());
    path = slash == std::string_view::npos ? "" : path.substr(slash + 1);
  }
  return node;
}

bool control_set_name(const char* name) {
  return std::strlen(name) == 13 && strncasecmp(name, "ControlSet", 10) == 0 && std::isdigit(name[10]) &&
         std::isdigit(name[11]) && std::isdigit(name[12]);
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A file of our own in the temporary folder, gone with the object.
struct TemporaryFile {
  std::filesystem::path path;
  TemporaryFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrelon-hive-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) {
      ::close(fd);
      path = pattern;
    }
  }
  ~TemporaryFile() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove(path, ec);
  }
};

}  // namespace

bool hive_has_pending_log(std::string_view hive) {
  if (hive.size() < 12) return false;
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(hive.data()), hive.size());
  return read_le32(bytes, 4) != read_le32(bytes, 8);
}

std::string name_system_hive(const std::string& hive_path, const std::string& name, std::string* old_name) {
  Hive hive{hivex_open(hive_path.c_str(), HIVEX_OPEN_WRITE)};
  if (!hive.h) return std::string("the SYSTEM hive does not open: ") + std::strerror(errno);
  const hive_node_h root = hivex_root(hive.h);
  std::string netbios = name.substr(0, std::min(name.size(), kNetbiosNameLength));
  std::transform(netbios.begin(), netbios.end(), netbios.begin(),
                 [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });

  // The control set Windows starts with, for the old name.
  std::string current;
  if (const hive_value_h v = hivex_node_get_value(hive.h, child_path(hive.h, root, "Select"), "Current"); v != 0) {
    char set[16];
    std::snprintf(set, sizeof set, "ControlSet%03d", static_cast<int>(hivex_value_dword(hive.h, v)));
    current = set;
  }
  int named = 0;
  hive_node_h* children = hivex_node_children(hive.h, root);
  for (hive_node_h* c = children; c && *c; ++c) {
    char* set_name = hivex_node_name(hive.h, *c);
    const std::string set = set_name ? set_name : "";
    std::free(set_name);
    if (!control_set_name(set.c_str())) continue;
    const hive_node_h computer = child_path(hive.h, *c, "Control\\ComputerName\\ComputerName");
    if (computer == 0) continue;
    if (old_name && strcasecmp(set.c_str(), current.c_str()) == 0) {
      if (const hive_value_h v = hivex_node_get_value(hive.h, computer, "ComputerName"); v != 0) {
        char* text = hivex_value_string(hive.h, v);
        if (text) *old_name = text;
        std::free(text);
      }
    }
    if (!set_text(hive.h, computer, "ComputerName", netbios)) break;
    if (const hive_node_h tcpip = child_path(hive.h, *c, "Services\\Tcpip\\Parameters"); tcpip != 0) {
      if (!set_text(hive.h, tcpip, "Hostname", name) || !set_text(hive.h, tcpip, "NV Hostname", name)) break;
    }
    ++named;
  }
  std::free(children);
  if (named == 0) return "the SYSTEM hive has no control set with a computer name";
  if (hivex_commit(hive.h, nullptr, 0) != 0) return std::string("writing the SYSTEM hive failed: ") + std::strerror(errno);
  return "";
}

std::optional<SystemNaming> name_windows(const std::string& disk, std::uint64_t offset, std::uint64_t length,
                                         const std::string& name) {
  std::string error;
  SystemNaming result{"Windows", false, {}, ""};
  std::optional<std::string> hive;
  {
    auto reader = NtfsFiles::open(disk, offset, length, false, &error);
    if (!reader) return SystemNaming{"an NTFS volume", false, {}, error};
    if (!reader->exists(kSystemHivePath)) return std::nullopt;
    hive = reader->read(kSystemHivePath, kHiveLimit, &error);
  }
  if (!hive) {
    result.why_not = error;
    return result;
  }
  if (hive_has_pending_log(*hive)) {
    result.why_not = "its registry's logs hold changes not yet written (Windows did not shut down cleanly): "
                     "left as it is";
    return result;
  }
  TemporaryFile copy;
  if (copy.path.empty() || !(std::ofstream(copy.path, std::ios::binary) << *hive)) {
    result.why_not = std::string("no room for a copy of the SYSTEM hive: ") + std::strerror(errno);
    return result;
  }
  std::string old_name;
  if (std::string why = name_system_hive(copy.path.string(), name, &old_name); !why.empty()) {
    result.why_not = why;
    return result;
  }
  auto writer = NtfsFiles::open(disk, offset, length, true, &error);
  if (!writer || !writer->write(kSystemHivePath, read_whole(copy.path), &error) || !writer->close(&error)) {
    result.why_not = error;
    return result;
  }
  result.changed.push_back("ComputerName and the TCP/IP host name in its SYSTEM hive" +
                           (old_name.empty() ? std::string() : " (was " + old_name + ")"));
  result.written = true;
  return result;
}

}  // namespace kestrelon::client
