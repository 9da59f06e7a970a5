#include "commands/headless_receiving_dialog.h"

#include <thread>

namespace kestrelon {

void HeadlessReceivingDialog::set_progress_range(int, int high) { range_high_.store(high); }

ReceivingDialog::End HeadlessReceivingDialog::run_modal() {
  using Clock = std::chrono::steady_clock;
  constexpr std::chrono::milliseconds kStep{20};
  auto next_supervision = Clock::now() + kSupervisionPeriod;
  auto next_refresh = Clock::now() + kRefreshPeriod;
  std::int32_t shown = -1;
  for (;;) {
    if (hooks_.idle) hooks_.idle();
    if (hooks_.cancel_requested && hooks_.cancel_requested()) end_with_cancel();
    if (end_.load() != kOpen) break;
    const auto now = Clock::now();
    if (now >= next_supervision) {
      next_supervision += kSupervisionPeriod;
      if (hooks_.supervise) hooks_.supervise();
      continue;  // the supervision may have ended the dialog
    }
    if (now >= next_refresh) {
      next_refresh += kRefreshPeriod;
      const std::int32_t p = position_.load();
      if (p != shown && hooks_.refresh) {
        shown = p;
        hooks_.refresh(p);
      }
    }
    std::this_thread::sleep_for(kStep);
  }
  // One last refresh, so whoever watches sees where the upload ended.
  if (position_.load() != shown && hooks_.refresh) hooks_.refresh(position_.load());
  return end_.load() == kOk ? End::ok : End::cancel;
}

}  // namespace kestrelon
