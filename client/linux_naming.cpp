#include "linux_naming.h"

#include <sys/random.h>

#include <array>
#include <cctype>
#include <cstdio>

#include "hosts_file.h"

namespace kestrelon::client {
namespace {

constexpr std::size_t kSmallFile = 64 * 1024;

std::string first_line(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.pop_back();
  return line;
}

// PRETTY_NAME of os-release, unquoted; "Linux" without one.
std::string system_name(const ExtFiles& files) {
  std::optional<std::string> release = files.read("/etc/os-release", kSmallFile);
  if (!release) release = files.read("/usr/lib/os-release", kSmallFile);
  if (release) {
    for (std::size_t at = 0; at < release->size();) {
      const std::size_t end = std::min(release->find('\n', at), release->size());
      std::string line = release->substr(at, end - at);
      at = end + 1;
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      line = line.substr(12);
      if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') && line.back() == line.front()) {
        line = line.substr(1, line.size() - 2);
      }
      if (!line.empty()) return line;
    }
  }
  return "Linux";
}

bool is_machine_id(const std::string& text) {
  const std::string id = first_line(text);
  if (id.size() != 32) return false;
  for (char c : id) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

std::string new_machine_id() {
  std::array<unsigned char, 16> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  std::string id;
  char hex[3];
  for (unsigned char b : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    id += hex;
  }
  return id + "\n";
}

bool holds_linux(const ExtFiles& files) {
  return files.kind("/etc/os-release") != ExtFiles::Kind::missing ||
         files.kind("/etc/hostname") != ExtFiles::Kind::missing;
}

std::optional<SystemNaming> name_linux(ExtFiles& files, const std::string& name) {
  if (!holds_linux(files)) return std::nullopt;
  SystemNaming result{system_name(files), false, {}, ""};
  if (files.needs_recovery()) {
    result.why_not = "its journal holds changes not yet written (it was not shut down cleanly): left as it is";
    return result;
  }
  std::string error;
  const auto write = [&](const std::string& path, const std::string& text) {
    if (!files.write(path, text, &error)) return false;
    result.changed.push_back(path);
    return true;
  };
  const std::string old_name = first_line(files.read("/etc/hostname", kSmallFile).value_or(""));
  if (!write("/etc/hostname", name + "\n")) {
    result.why_not = error;
    return result;
  }
  const ExtFiles::Kind hosts_kind = files.kind("/etc/hosts");
  if (hosts_kind == ExtFiles::Kind::regular || hosts_kind == ExtFiles::Kind::missing) {
    const std::string hosts = files.read("/etc/hosts", kSmallFile).value_or("127.0.0.1\tlocalhost\n");
    if (!write("/etc/hosts", renamed_hosts(hosts, old_name, name))) {
      result.why_not = error;
      return result;
    }
  }
  const std::optional<std::string> old_id = files.read("/etc/machine-id", kSmallFile);
  if (old_id && is_machine_id(*old_id)) {
    const std::string id = new_machine_id();
    if (!write("/etc/machine-id", id)) {
      result.why_not = error;
      return result;
    }
    // D-Bus keeps a copy of its own where it is no link to systemd's.
    if (files.read("/var/lib/dbus/machine-id", kSmallFile) == old_id) write("/var/lib/dbus/machine-id", id);
  }
  result.written = true;
  return result;
}

}  // namespace kestrelon::client
