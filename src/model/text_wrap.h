#pragma once
// Word wrapping for labels that show several lines.
#include <string>
#include <string_view>
#include <vector>

#include "model/ellipsis.h"

namespace kestrelon {

// Splits `text` into lines no wider than `width` where spaces allow; a word wider
// than the width stands on a line of its own. Line breaks in the text are kept.
std::vector<std::string> wrap_words(std::string_view text, int width, const TextMeasure& measure);

}  // namespace kestrelon
