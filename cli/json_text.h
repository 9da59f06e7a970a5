#pragma once
// JSON string literals from texts that came off the network: valid UTF-8 is kept,
// control characters are escaped, and bytes that are not UTF-8 become U+FFFD, so
// the output is always valid JSON.
#include <string>
#include <string_view>

namespace kestrelon::cli {

std::string json_string(std::string_view text);

}  // namespace kestrelon::cli
