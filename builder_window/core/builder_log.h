#pragma once
// The builder window's log: the command lines it ran, the builder's output and
// each run's result, kept to the newest `limit` lines so a serve that runs for
// days holds no more memory than a short one. The window shows it as rows; when
// lines were dropped, the first row says how many.
#include <cstddef>
#include <deque>
#include <string>

namespace kestrelon::builder_window {

enum class LogKind {
  command,  // what was started
  output,   // the builder's standard output
  error,    // its standard error
  result,   // how the run ended
};

struct LogLine {
  LogKind kind;
  std::string text;
};

class BuilderLog {
 public:
  explicit BuilderLog(std::size_t limit) : limit_(limit == 0 ? 1 : limit) {}

  void add(LogKind kind, std::string text);

  // What the window shows: the kept lines, after a first row that counts the
  // dropped ones when there are any.
  std::size_t rows() const { return lines_.size() + (dropped_ > 0 ? 1 : 0); }
  LogLine row(std::size_t index) const;

  std::size_t dropped() const { return dropped_; }
  std::size_t kept() const { return lines_.size(); }

 private:
  std::size_t limit_;
  std::deque<LogLine> lines_;
  std::size_t dropped_ = 0;
};

}  // namespace kestrelon::builder_window
