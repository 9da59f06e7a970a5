#pragma once
// A wall clock in whole seconds that runs `factor` times faster than real time
// from the moment it is made, so a countdown of minutes passes in seconds.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>

namespace kestrelon::test {

inline std::function<std::int64_t()> FastWallClock(int factor) {
  const auto real0 = std::chrono::steady_clock::now();
  const std::int64_t wall0 = std::time(nullptr);
  return [=] {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - real0);
    return wall0 + ms.count() * factor / 1000;
  };
}

}  // namespace kestrelon::test
