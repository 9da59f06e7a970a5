#pragma once
// The Receiving dialog where there is no window (the command line, tests): its
// modal run is a loop that calls the Create supervision every 500 ms, as the
// main frame's timer does, and a refresh every 333 ms, as the dialog's timer
// does, until the supervision or a cancel request ends it.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "commands/receiving_dialog.h"

namespace kestrelon {

class HeadlessReceivingDialog final : public ReceivingDialog {
 public:
  static constexpr std::chrono::milliseconds kSupervisionPeriod{500};
  static constexpr std::chrono::milliseconds kRefreshPeriod{333};

  struct Hooks {
    std::function<void()> supervise;              // the Create supervision
    std::function<void(std::int32_t)> refresh;    // the position moved since the last refresh
    std::function<void()> idle;                   // work queued for this thread, run between ticks
    std::function<bool()> cancel_requested;       // e.g. an interrupt signal has come
  };

  explicit HeadlessReceivingDialog(Hooks hooks) : hooks_(std::move(hooks)) {}

  void set_progress_range(int low, int high) override;
  void set_position(std::int32_t position) override { position_.store(position); }
  void end_with_ok() override { end_.store(kOk); }
  void end_with_cancel() override { end_.store(kCancel); }
  End run_modal() override;

  int range_high() const { return range_high_.load(); }

 private:
  static constexpr int kOpen = 0, kOk = 1, kCancel = 2;

  Hooks hooks_;
  std::atomic<int> end_{kOpen};
  std::atomic<std::int32_t> position_{-1};
  std::atomic<int> range_high_{0};
};

}  // namespace kestrelon
