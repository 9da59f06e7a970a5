#pragma once
// What File > ClientBuilder starts: the builder's window beside this program,
// which runs the builder program itself (found beside it, else on the PATH).
// When either is not installed the Controller says which and what to install,
// and goes on running, instead of failing without a word.
#include <string>
#include <string_view>

namespace kestrelon {

struct ClientBuilderPrograms {
  std::string_view window;   // the builder's window, installed beside the Controller
  std::string_view builder;  // the program the window runs
  std::string_view builder_package;  // the package that installs `builder`
  std::string_view window_package;   // the package that installs `window`
};

struct ClientBuilderLaunch {
  std::string window_path;  // set when both programs are there: what to start
  // Otherwise: the program that was not found, where it was looked for, and
  // the package that brings it.
  std::string missing_program;
  std::string looked_in;
  std::string package;

  bool ready() const { return !window_path.empty(); }
};

// Looks for both programs from `own_folder` (this program's folder) and
// `search_path` (the PATH value); the builder program is checked first, since a
// missing builder package is the usual case.
ClientBuilderLaunch plan_client_builder_launch(const ClientBuilderPrograms& programs, const std::string& own_folder,
                                               std::string_view search_path);

}  // namespace kestrelon
