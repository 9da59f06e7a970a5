#pragma once
// The one-line progress display of a running transfer on a terminal: fitted to
// the terminal's width at every redraw and rewritten in place on standard error.
// Whatever else is printed meanwhile clears it first (clear()), so no line runs
// into it. Nothing is drawn when standard error is not a terminal.
#include <string>
#include <vector>

namespace kestrelon::cli {

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool on_terminal() const { return terminal_; }
  // Draws the fields, most important first; those that do not fit are left out.
  void show(const std::vector<std::string>& fields);
  // Erases the line; the next show draws it again.
  void clear();

 private:
  bool terminal_;
  bool shown_ = false;
};

}  // namespace kestrelon::cli
