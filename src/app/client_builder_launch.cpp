#include "app/client_builder_launch.h"

#include "platform/program_exec.h"

namespace kestrelon {

ClientBuilderLaunch plan_client_builder_launch(const ClientBuilderPrograms& programs, const std::string& own_folder,
                                               std::string_view search_path) {
  ClientBuilderLaunch launch;
  if (find_executable(programs.builder, own_folder, search_path).empty()) {
    launch.missing_program = programs.builder;
    launch.looked_in = own_folder + " and the folders of the PATH";
    launch.package = programs.builder_package;
    return launch;
  }
  // The window is looked for beside this program only: that is where the
  // Controller's package installs it, and another copy elsewhere may be stale.
  const std::string window = find_executable(programs.window, own_folder, {});
  if (window.empty()) {
    launch.missing_program = programs.window;
    launch.looked_in = own_folder;
    launch.package = programs.window_package;
    return launch;
  }
  launch.window_path = window;
  return launch;
}

}  // namespace kestrelon
