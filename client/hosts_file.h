#pragma once
// The host name in a Linux system's /etc/hosts, changed with the computer name:
// the old name is replaced wherever a line gives it to an address (also as the
// first label of a full name, "pc01.school.lan"); when no line names it, the
// name is given to 127.0.1.1 as Debian's installer does. Comments, spacing and
// every other line stay as they were.
#include <string>
#include <string_view>

namespace kestrelon::client {

std::string renamed_hosts(std::string_view hosts, std::string_view old_name, std::string_view new_name);

}  // namespace kestrelon::client
