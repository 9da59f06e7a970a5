#pragma once
// Whether a folder is this user's own: a folder (not a link to one), owned by the
// user, that no one else may write to. A program that keeps a lock or a socket
// in a shared place (the temporary folder) must not use a folder that another
// user made there first: that user could then pose as the program's running
// instance, or receive what its next start says to it.
#include <string>

namespace kestrelon {

// True when `path` is such a folder; otherwise false, with why in `why`.
bool is_private_folder(const std::string& path, std::string* why = nullptr);

}  // namespace kestrelon
