#pragma once
// A signal that one thread waits for, with a deadline, and other threads raise.
// A raise that comes while nobody waits is kept for the next wait, so none is
// lost between a check and the wait. The copy worker waits on one between its
// millisecond ticks in fast mode; acknowledgements and resend requests raise it.
#include <time.h>

#include <condition_variable>
#include <mutex>

namespace kestrelon {

class WakeSignal {
 public:
  void raise();
  // Returns once raised (and lowers the signal) or when CLOCK_MONOTONIC reaches
  // `deadline`, whichever comes first.
  void wait_until(const timespec& deadline);

 private:
  std::mutex mutex_;
  std::condition_variable raised_cv_;
  bool raised_ = false;
};

}  // namespace kestrelon
