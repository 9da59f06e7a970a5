#include "stop_signal.h"

#include <csignal>

namespace kestrelon::cli {

namespace {
volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_stop_signal(int) { g_stop = 1; }
}  // namespace

void install_stop_signals() {
  struct sigaction action{};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stop_requested() { return g_stop != 0; }

}  // namespace kestrelon::cli
