#pragma once
// The designed pace of a copy: at most 20 blocks a tick, and a resend request
// makes the copy wait "nt" (for lower requests from other Clients) and then go
// back to the lowest block asked for, sending everything from there again.
//
// Receive threads record requests; the copy worker ticks. The lowest requested
// block is one atomic, lowered by a compare-and-swap, and taken by the worker in
// one exchange, so a lower request arriving as the worker goes back is kept.
#include <atomic>

#include "transfer/copy_pacing.h"

namespace kestrelon {

class DefaultPacing final : public CopyPacing {
 public:
  static constexpr int kBurst = 20;  // blocks per tick at most

  explicit DefaultPacing(CopyPacingPort& port) : port_(port) {}

  void clear() override;
  void restart(Tick) override {}
  int tick(Tick now) override;
  bool resend_requested(Ipv4Address from, std::int32_t block, Tick now) override;
  bool resend_waiting() const override { return lowest_requested_.load() != -1; }

  // Waiting "nt" before going back.
  bool resend_pending() const { return resend_pending_.load(); }
  // The lowest block asked for and not yet gone back to; -1 when none.
  std::int32_t lowest_requested() const { return lowest_requested_.load(); }

 private:
  CopyPacingPort& port_;
  std::atomic<std::int32_t> lowest_requested_{-1};
  std::atomic<bool> resend_pending_{false};
  Tick resend_time_ = 0;  // worker only: when the wait began
};

}  // namespace kestrelon
