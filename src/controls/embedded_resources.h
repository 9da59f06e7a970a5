#pragma once
// The pictures compiled into the program (rendered from res/*.svg at build time).
#include <cstddef>
#include <span>
#include <string_view>

namespace kestrelon::res {

struct EmbeddedResource {
  const char* name;  // the picture's name in capitals, e.g. "COPYU"
  const unsigned char* data;
  std::size_t size;
};

extern const EmbeddedResource kEmbedded[];
extern const std::size_t kEmbeddedCount;

// The bytes of the picture named `name`, compared without regard to case; empty
// when there is none.
std::span<const unsigned char> find_resource(std::string_view name);

}  // namespace kestrelon::res
