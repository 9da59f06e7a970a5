#pragma once
// Leaving this program for another one: the client builder takes the process
// over, as an overlay exec, so the Controller ends the moment it starts. Also
// finds the programs that come with this one (beside it, else on the PATH).
#include <string>
#include <string_view>

namespace kestrelon {

// The folder holding this program's executable, ending with a separator.
std::string program_folder();

// A relative path written with backslashes, in this platform's separators.
std::string platform_path(std::string_view backslash_path);

// True when `path` names a file this process could execute.
bool can_execute(const std::string& path);

// The program `name` in `own_folder` (this program's folder: programs installed
// together come first), else in the first folder of `search_path` (a PATH value,
// folders separated by ':') that holds it; empty when none does. Only regular
// files this process may execute count.
std::string find_executable(std::string_view name, const std::string& own_folder, std::string_view search_path);

// Replaces the process with `path`, giving it `argv0` as its only argument and the
// current environment. Descriptors this program opened (sockets, lock files) are
// not handed on. Returns only when the program could not be started.
bool replace_process(const std::string& path, const std::string& argv0);

}  // namespace kestrelon
