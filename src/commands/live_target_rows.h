#pragma once
// The live per-PC table beside the Transfer dialog while a copy runs, without
// its window: one row per target (and per PC left out) with its step as the
// copy report follows it, and what was last heard from it. The window's 333 ms
// refresh calls update() with the report's states and redraws only when it
// says the rows changed.
#include <string>
#include <vector>

#include "model/dialog_units.h"
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

// Where the table of `width` x `height` goes beside the Transfer dialog at
// `dialog`, on the screen's work area `screen`: to its right, else to its left,
// else below it, else above it (the window manager would push a window that
// does not fit back over the dialog); its top (or left) as the dialog's, kept
// on the screen.
PixelRect live_table_place(const PixelRect& dialog, int width, int height, const PixelRect& screen);

}  // namespace kestrelon
