#pragma once
// The text of the image pane's "File info" dialog (the Info... button and a double
// click on an image): the file's name, its size in Mb and its description, and,
// for a file that is no whole image, a warning that says what is wrong with it,
// as the Copy command would refuse it.
#include <optional>
#include <string>

namespace kestrelon {

inline constexpr const char* kImageWarningPrefix = "Warning: ";

// For the image `name` in `folder`; nothing when the file cannot be opened.
std::optional<std::string> file_information_text(const std::string& folder, const std::string& name);

}  // namespace kestrelon
