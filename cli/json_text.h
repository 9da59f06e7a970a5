#pragma once
// JSON as kestrelon-cli prints it: one compact object per line, keys in the order
// they were added. Texts that came off the network may hold bytes that are not
// UTF-8; they become U+FFFD, so the output is always valid JSON.
#include <nlohmann/json.hpp>
#include <string>

namespace kestrelon::cli {

using Json = nlohmann::ordered_json;

std::string json_text(const Json& value);

}  // namespace kestrelon::cli
