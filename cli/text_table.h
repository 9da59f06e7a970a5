#pragma once
// Lists printed as aligned columns: the first line is the header, each column as
// wide as its widest text (counted in characters, so disk marks line up), two
// spaces between columns, no blanks at the end of a line.
#include <string>
#include <vector>

namespace kestrelon::cli {

// The lines joined by line breaks, without one at the end.
std::string text_table(const std::vector<std::vector<std::string>>& lines);
// The same on standard output, each line ended.
void print_text_table(const std::vector<std::vector<std::string>>& lines);

}  // namespace kestrelon::cli
