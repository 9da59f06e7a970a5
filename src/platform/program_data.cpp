#include "platform/program_data.h"

#include <system_error>

// The install rules give the way from the programs' folder to the data folder
// ("../share/kestrelon"), so an installed tree can be moved as a whole.
#ifndef KESTRELON_DATA_FROM_BIN
#error "KESTRELON_DATA_FROM_BIN must name the data folder relative to the programs' folder"
#endif

namespace kestrelon {

namespace fs = std::filesystem;

fs::path installed_data_folder(const fs::path& program_folder) {
  return (program_folder / KESTRELON_DATA_FROM_BIN).lexically_normal();
}

std::optional<fs::path> find_program_data(std::string_view name, const fs::path& program_folder) {
  for (const fs::path& candidate : {program_folder / name, installed_data_folder(program_folder) / name}) {
    std::error_code ec;
    if (fs::exists(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

}  // namespace kestrelon
