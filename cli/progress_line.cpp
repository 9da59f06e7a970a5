#include "progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "model/line_fit.h"

namespace kestrelon::cli {

namespace {

// The terminal's width now (it may have been resized), else $COLUMNS, else 80.
int terminal_columns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    if (const int n = std::atoi(columns); n > 0) return n;
  }
  return 80;
}

}  // namespace

ProgressLine::ProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}

void ProgressLine::show(const std::vector<std::string>& fields) {
  if (!terminal_) return;
  std::fprintf(stderr, "\r%s\033[K", fit_fields(fields, terminal_columns()).c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace kestrelon::cli
