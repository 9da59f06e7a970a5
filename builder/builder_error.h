#pragma once
// A failure the administrator can act on: one sentence that says what is wrong
// and, where there is one, what to do about it. kestrelon-builder prints it and
// exits with status 1.
#include <stdexcept>
#include <string>

namespace kestrelon::builder {

class BuilderError : public std::runtime_error {
 public:
  explicit BuilderError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace kestrelon::builder
