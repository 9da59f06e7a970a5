#pragma once
// The description a Create lays over the new image's header, as the Receiving
// Disk Image dialog and `kestrelon-cli create --description` take it: UTF-8, at
// most 400 characters, and no more bytes than the header's description field
// holds before the zero byte that ends it. A letter outside ASCII takes two to
// four bytes, so 400 characters may not fit: such a text is refused with a
// message when it is entered, never stored cut short.
#include <cstddef>
#include <string>
#include <string_view>

#include "model/client_row_text.h"  // character_count
#include "transfer/image_file.h"

namespace kestrelon {

inline constexpr std::size_t kDescriptionCharacters = 400;
// Bytes 256 to 767 of the header, the last kept for the zero byte.
inline constexpr std::size_t kDescriptionBytes = image::kInformationLength - image::kDescriptionOffset - 1;

// Why `text` cannot be stored as an image's description, for the user; empty
// when it can.
std::string description_problem(std::string_view text);

}  // namespace kestrelon
