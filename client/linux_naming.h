#pragma once
// A copied Linux system takes its computer name: /etc/hostname, the old name's
// lines in /etc/hosts, and a new /etc/machine-id (with D-Bus's own copy of it),
// so no two PCs of a room share the identity that systemd, DHCP clients and
// journals tell machines apart by. A system whose machine-id is empty
// ("uninitialized") makes its own at its first start and keeps it so.
#include <optional>
#include <string>
#include <vector>

#include "ext_files.h"

namespace kestrelon::client {

struct SystemNaming {
  std::string system;               // "Debian GNU/Linux 12 (bookworm)", "Windows"
  bool written = false;             // the name is in place
  std::vector<std::string> changed; // what was written: "/etc/hostname", ...
  std::string why_not;              // when it is not
};

// Whether the file system holds a Linux system: an /etc/os-release or an
// /etc/hostname.
bool holds_linux(const ExtFiles& files);

// Gives the system `name` (the caller closes `files`, which writes it out).
// Nothing when the file system holds no Linux system.
std::optional<SystemNaming> name_linux(ExtFiles& files, const std::string& name);

// 32 lower-case hexadecimal digits and a line break: a random identity shaped
// as systemd makes one (a version 4 UUID's bits).
std::string new_machine_id();

}  // namespace kestrelon::client
