#pragma once
// Shortening a text with "..." so it fits a width. Two rules exist: the label
// button's (longest prefix that fits together with "...") and the list cells'
// (which also keeps a margin and falls back to "..", "." or nothing). Widths come
// from a callback so the window code measures in its own font and tests measure
// with a fixed-pitch stand-in. Texts are UTF-8; characters are never split.
#include <functional>
#include <string>
#include <string_view>

namespace kestrelon {

using TextMeasure = std::function<int(std::string_view)>;

// The label button's one-line rule: `text` when it is empty or fits `width`;
// otherwise the longest prefix that fits together with "...", or "..." alone.
std::string label_ellipsis(std::string_view text, int width, const TextMeasure& measure);

// The list cells' rule, with `margin` pixels kept free beside the text: `text`
// when it is empty or fits; otherwise the longest prefix (at least one character)
// that fits with "..."; when even that does not fit, the first of "...", "..",
// "." that does, or an empty text.
std::string list_cell_ellipsis(std::string_view text, int width, int margin, const TextMeasure& measure);

// Byte length of the first `characters` UTF-8 characters of `text`.
std::size_t utf8_prefix_bytes(std::string_view text, std::size_t characters);
std::size_t utf8_length(std::string_view text);

}  // namespace kestrelon
