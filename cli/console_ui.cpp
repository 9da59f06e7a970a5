#include "console_ui.h"

#include <chrono>
#include <cstdio>

#include "error_report.h"

namespace kestrelon::cli {

void ConsoleUi::show_message(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (output_) {
    output_->message(line);
  } else {
    report_message(line);
  }
  ++shown_;
}

void ConsoleUi::post_to_ui(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  cv_.notify_one();
}

void ConsoleUi::drain(int timeout_ms) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (queue_.empty()) {
      if (timeout_ms <= 0 ||
          !cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return !queue_.empty(); })) {
        return;
      }
    }
    auto work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    lock.lock();
  }
}

}  // namespace kestrelon::cli
