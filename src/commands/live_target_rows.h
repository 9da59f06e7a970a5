#pragma once
// The live per-PC table beside the Transfer dialog while a copy runs, without
// its window: one row per target (and per PC left out) with its step as the
// copy report follows it, and what was last heard from it. The window's 333 ms
// refresh calls update() with the report's states and redraws only when it
// says the rows changed.
#include <string>
#include <vector>

#include "transfer/copy_target_report.h"

namespace kestrelon {

class LiveTargetRows {
 public:
  // True when the rows differ from the last update.
  bool update(const std::vector<TargetState>& states);
  // Name, IP address, step ("ready", "copied", "failed" ...), details.
  const std::vector<std::vector<std::string>>& rows() const { return rows_; }
  // How many targets are done, and how many there are (left-out PCs not counted).
  int done() const { return done_; }
  int targets() const { return targets_; }

 private:
  std::vector<std::vector<std::string>> rows_;
  int done_ = 0;
  int targets_ = 0;
};

inline constexpr const char* kLiveTargetColumns[] = {"Name", "IP Address", "Step", "Details"};

}  // namespace kestrelon
