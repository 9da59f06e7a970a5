#pragma once
// A counting semaphore with a maximum count, as the program's locks are used:
// any thread may release it, and a release beyond the maximum is refused instead
// of raising the count (shutdown releases locks it may not hold).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kestrelon {

class Semaphore {
 public:
  explicit Semaphore(int initial = 1, int maximum = 1) : count_(initial), max_(maximum) {}
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void acquire() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return count_ > 0; });
    --count_;
  }

  bool try_acquire_for(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, timeout, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
  }

  bool try_acquire() { return try_acquire_for(std::chrono::milliseconds(0)); }

  // Returns false when the count is already at its maximum.
  bool release() {
    {
      std::lock_guard lock(mutex_);
      if (count_ >= max_) return false;
      ++count_;
    }
    cv_.notify_one();
    return true;
  }

  int count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  int count_;
  int max_;
};

// Holds a semaphore for a scope.
class SemaphoreGuard {
 public:
  explicit SemaphoreGuard(Semaphore& s) : s_(s) { s_.acquire(); }
  ~SemaphoreGuard() { s_.release(); }
  SemaphoreGuard(const SemaphoreGuard&) = delete;
  SemaphoreGuard& operator=(const SemaphoreGuard&) = delete;

 private:
  Semaphore& s_;
};

}  // namespace kestrelon
