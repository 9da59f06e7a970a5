#pragma once
// The copy worker: the thread that calls the copy engine's tick every millisecond
// while a copy runs. Ticks follow an absolute 1 ms schedule, so the time a tick
// takes does not stretch the period (a relative "sleep 1 ms" would lose the time
// of every tick and fall well short of 20 blocks per millisecond). At most one
// worker drives the engine: each holds the worker semaphore while it runs. In
// fast mode the worker also ticks whenever the engine wakes it between ticks.
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/semaphore.h"
#include "transfer/copy_engine.h"

namespace kestrelon {

class CopyWorker {
 public:
  // After a stall (the thread was not scheduled), at most this many missed ticks
  // are made up back to back; older ones are dropped rather than sent as a burst.
  static constexpr int kCatchUpTicks = 10;

  CopyWorker(CopyEngine& engine, Semaphore& worker_semaphore) : engine_(engine), semaphore_(worker_semaphore) {}
  ~CopyWorker() { stop_and_join(); }
  CopyWorker(const CopyWorker&) = delete;
  CopyWorker& operator=(const CopyWorker&) = delete;

  // Clears the engine's stop flag and starts a worker. A worker of an earlier copy
  // is stopped and waited for first, so clearing the flag cannot keep it alive.
  void start();
  // Sets the engine's stop flag and waits for the worker to end (it runs Engine
  // stop and gives the worker semaphore back). Never call it holding the client
  // table lock: a tick may be waiting for that lock.
  void stop_and_join();
  // Waits for a worker that has been told to stop.
  void join();

  bool active() const { return active_.load(); }
  std::uint64_t ticks() const { return ticks_.load(); }

 private:
  void run();

  CopyEngine& engine_;
  Semaphore& semaphore_;
  std::thread thread_;
  std::atomic<bool> active_{false};
  std::atomic<std::uint64_t> ticks_{0};
};

}  // namespace kestrelon
