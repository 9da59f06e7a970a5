#include "controls/embedded_resources.h"

#include <cctype>

namespace kestrelon::res {

std::span<const unsigned char> find_resource(std::string_view name) {
  for (std::size_t i = 0; i < kEmbeddedCount; ++i) {
    const std::string_view candidate = kEmbedded[i].name;
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < name.size() && same; ++k)
      same = std::toupper(static_cast<unsigned char>(candidate[k])) == std::toupper(static_cast<unsigned char>(name[k]));
    if (same) return {kEmbedded[i].data, kEmbedded[i].size};
  }
  return {};
}

}  // namespace kestrelon::res
