#pragma once
// The one decimal conversion used for command-line values, numbers read back from
// the settings and numbers taken from list texts: optional leading blanks, an
// optional sign, then digits; 0 when there are none. Reading stops at the first
// character that is not a digit, so "12abc" is 12.
#include <string_view>

namespace kestrelon {

// Values beyond the range of int are clamped to it instead of wrapping.
int decimal_value(std::string_view text);

}  // namespace kestrelon
