#pragma once
// The one-line progress display of a running transfer on a terminal: redrawn in
// place on standard error, ended with a line break. Nothing is drawn when
// standard error is not a terminal (scripts, logs).
#include "transfer/transfer_texts.h"

namespace kestrelon::cli {

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine() { end(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void show(const RefreshTexts& texts);
  // Moves past the line, once something was drawn.
  void end();

 private:
  bool terminal_;
  bool shown_ = false;
};

}  // namespace kestrelon::cli
