#pragma once
// The commands of kestrelon-cli. Each takes the words after its name and returns
// the process exit code.
#include <string>
#include <vector>

namespace kestrelon::cli {

using Args = std::vector<std::string>;

int run_interfaces(const Args& args);
int run_discover(const Args& args);
int run_copy(const Args& args);
int run_create(const Args& args);

}  // namespace kestrelon::cli
