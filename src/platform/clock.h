#pragma once
// A clock seam: the engines and the registry read time through it, so tests can
// drive expiry and deadlines without waiting.
#include <atomic>

#include "platform/tick.h"

namespace kestrelon {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Tick now() const = 0;
};

class SystemClock final : public Clock {
 public:
  Tick now() const override { return tick_count(); }
  static SystemClock& instance();
};

// A clock that only moves when told to.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(Tick start = 1000) : now_(start) {}
  Tick now() const override { return now_.load(); }
  void set(Tick t) { now_.store(t); }
  void advance(Tick ms) { now_.fetch_add(ms); }

 private:
  std::atomic<Tick> now_;
};

}  // namespace kestrelon
