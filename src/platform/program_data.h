#pragma once
// Where the program finds its read-only data (the help book): beside the program
// when it runs from the build tree, or in the data folder of the prefix it is
// installed under (bin/../share/kestrelon), so an installed program needs nothing
// beside itself. The help book asks for it; the install rules decide the layout.
#include <filesystem>
#include <optional>
#include <string_view>

namespace kestrelon {

// The data folder of an installation whose programs live in `program_folder`.
std::filesystem::path installed_data_folder(const std::filesystem::path& program_folder);

// The file or folder `name` beside the program, else in its installed data folder;
// nothing when neither exists.
std::optional<std::filesystem::path> find_program_data(std::string_view name,
                                                       const std::filesystem::path& program_folder);

}  // namespace kestrelon
