#pragma once
// The image pane's window-free half: which image files a folder holds, in the
// order the pane lists them.
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

struct ImageFolderListing {
  bool matched = false;             // the pattern matched any directory entry, folders included
  std::vector<std::string> files;   // bare names of the matching files, in list order
};

// Entries of `folder` whose names match `pattern` ("*.krn"; '*' and '?' wildcards,
// letters compared without regard to case) that are regular files or links to
// them, leaving out folders, pipes, devices and entries whose attributes cannot
// be read.
ImageFolderListing list_image_files(const std::string& folder, std::string_view pattern);

// The image list as the folder now holds it: `names` (from list_image_files) and
// the position there of the entry that was selected (`selected_name`, empty for
// none), -1 when it has gone. `changed` is false when the names are the ones shown.
struct ImageListFollow {
  bool changed = false;
  std::vector<std::string> names;
  int selected = -1;
};
ImageListFollow follow_image_folder(const std::vector<std::string>& shown, const std::string& selected_name,
                                    std::vector<std::string> listed);

// The order of the image file list: letters compared without regard to case,
// names equal that way ordered by their bytes, so "A.krn" comes before "b.krn".
bool image_list_before(std::string_view a, std::string_view b);

// Case-insensitive wildcard match of a whole name.
bool wildcard_match(std::string_view pattern, std::string_view name);

// `folder` and `name` joined with one separator, never two.
std::string image_file_path(std::string_view folder, std::string_view name);

// Bytes of a description as UTF-8: kept when they already are valid UTF-8, else
// read as Windows-1252 (the code page older images were written in).
std::string description_to_utf8(std::string_view bytes);

}  // namespace kestrelon
