#pragma once
// Lists printed as aligned columns: the first line is the header, each column as
// wide as its widest text (counted in characters, so disk marks line up).
#include <string>
#include <vector>

namespace kestrelon::cli {

void print_text_table(const std::vector<std::vector<std::string>>& lines);

}  // namespace kestrelon::cli
