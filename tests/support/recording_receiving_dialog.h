#pragma once
// A Receiving dialog for tests: records what the engine and the supervision do
// to it. run_modal waits until one of the ends has been called.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "commands/receiving_dialog.h"

namespace kestrelon::test {

class RecordingReceivingDialog : public ReceivingDialog {
 public:
  void set_progress_range(int low, int high) override {
    std::lock_guard lock(mutex_);
    ranges_.push_back({low, high});
  }
  void set_position(std::int32_t position) override {
    std::lock_guard lock(mutex_);
    positions_.push_back(position);
  }
  void end_with_ok() override { end(End::ok); }
  void end_with_cancel() override { end(End::cancel); }
  End run_modal() override {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return !ends_.empty(); });
    return ends_.front();
  }

  std::vector<std::pair<int, int>> ranges() const {
    std::lock_guard lock(mutex_);
    return ranges_;
  }
  std::vector<std::int32_t> positions() const {
    std::lock_guard lock(mutex_);
    return positions_;
  }
  std::vector<End> ends() const {
    std::lock_guard lock(mutex_);
    return ends_;
  }
  // As new, for another run.
  void clear() {
    std::lock_guard lock(mutex_);
    ranges_.clear();
    positions_.clear();
    ends_.clear();
  }

 private:
  void end(End e) {
    {
      std::lock_guard lock(mutex_);
      ends_.push_back(e);
    }
    cv_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::pair<int, int>> ranges_;
  std::vector<std::int32_t> positions_;
  std::vector<End> ends_;
};

}  // namespace kestrelon::test
