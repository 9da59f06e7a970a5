#pragma once
// How long a test waits for something that should happen. The limits tests are
// written with are what the wait takes on an idle machine; a limit only decides
// when something that never happens is given up, so every wait allows many times
// as long: a busy machine (two cores shared with other work) makes a test slower,
// never failed.
#include <chrono>

namespace kestrelon::test {

inline constexpr int kBusyMachineAllowance = 10;

inline std::chrono::milliseconds patient(std::chrono::milliseconds idle_limit) {
  return idle_limit * kBusyMachineAllowance;
}

}  // namespace kestrelon::test
