#include "transfer/copy_worker.h"

#include <time.h>

#include <cerrno>

namespace kestrelon {
namespace {

constexpr long kNanosPerMs = 1'000'000;
constexpr long kNanosPerSecond = 1'000'000'000;

void add_ms(timespec& t, long ms) {
  t.tv_nsec += ms * kNanosPerMs;
  while (t.tv_nsec >= kNanosPerSecond) {
    t.tv_nsec -= kNanosPerSecond;
    ++t.tv_sec;
  }
}

long long nanos(const timespec& t) { return static_cast<long long>(t.tv_sec) * kNanosPerSecond + t.tv_nsec; }

}  // namespace

void CopyWorker::start() {
  stop_and_join();
  engine_.clear_stop();
  active_.store(true);
  thread_ = std::thread([this] { run(); });
}

void CopyWorker::stop_and_join() {
  engine_.request_stop();
  join();
}

void CopyWorker::join() {
  if (thread_.joinable()) thread_.join();
}

void CopyWorker::run() {
  semaphore_.acquire();
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  while (!engine_.stop_requested()) {
    engine_.tick();
    ticks_.fetch_add(1, std::memory_order_relaxed);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // In fast mode the engine may wake the worker before the next tick is due;
    // the schedule moves on only once it is.
    if (nanos(now) >= nanos(next)) {
      add_ms(next, 1);
      if (nanos(now) - nanos(next) > kCatchUpTicks * kNanosPerMs) next = now;
    }
    if (engine_.fast_mode()) {
      engine_.wait_for_work(next);
      continue;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
  }
  engine_.engine_stop();
  active_.store(false);
  semaphore_.release();
}

}  // namespace kestrelon
