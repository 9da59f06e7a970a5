#include "progress_line.h"

#include <unistd.h>

#include <cstdio>

#include "client_choice.h"

namespace kestrelon::cli {

ProgressLine::ProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}

void ProgressLine::show(const RefreshTexts& t) {
  if (!terminal_) return;
  std::fprintf(stderr, "\r%4s  %s  elapsed %s  left %s  %s  acks %s  retries %s  %s\033[K", t.percentage.c_str(),
               printable(t.file).c_str(), t.elapsed.c_str(), t.time_left.c_str(), t.rate.c_str(),
               t.acknowledgements.c_str(), t.retries.c_str(), printable(t.client).c_str());
  shown_ = true;
}

void ProgressLine::end() {
  if (shown_) std::fputc('\n', stderr);
  shown_ = false;
}

}  // namespace kestrelon::cli
