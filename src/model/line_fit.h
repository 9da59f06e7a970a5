#pragma once
// One status line made to fit a terminal's width: fields in order of importance,
// two spaces apart, the ones at the end left out when the line would be too
// wide, so a redrawn line never wraps (a wrapped line cannot be redrawn in place
// and scrolls instead).
#include <string>
#include <vector>

namespace kestrelon {

// The fields joined by two spaces, at most `columns - 1` characters wide (the
// last column stays free: writing there makes some terminals wrap). Trailing
// fields that do not fit whole are left out; a first field too wide on its own
// is cut, never inside a UTF-8 character. Empty fields are skipped.
std::string fit_fields(const std::vector<std::string>& fields, int columns);

}  // namespace kestrelon
