#include "commands/image_description.h"

namespace kestrelon {

std::string description_problem(std::string_view text) {
  const auto characters = static_cast<std::size_t>(character_count(text));
  if (characters > kDescriptionCharacters) {
    return "The description has " + std::to_string(characters) + " characters; an image holds at most " +
           std::to_string(kDescriptionCharacters) + ".";
  }
  if (text.size() > kDescriptionBytes) {
    const std::size_t excess = text.size() - kDescriptionBytes;
    return "The description is too long for an image: its " + std::to_string(characters) + " characters take " +
           std::to_string(text.size()) + " bytes, and an image holds " + std::to_string(kDescriptionBytes) +
           " (a letter outside ASCII takes 2 to 4 bytes). Shorten it by " + std::to_string(excess) +
           (excess == 1 ? " byte." : " bytes.");
  }
  return {};
}

}  // namespace kestrelon
