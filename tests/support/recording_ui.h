#pragma once
// A user-interface port for tests: records every message and keeps posted work
// until the test runs it.
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/user_messages.h"

namespace kestrelon::test {

class RecordingUi : public UserMessages {
 public:
  void show_message(const std::string& text) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
  }
  void post_to_ui(std::function<void()> work) override {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
  }
  // Runs the work posted so far (and what it posts in turn); returns how many ran.
  int run_posted() {
    int n = 0;
    for (;;) {
      std::function<void()> work;
      {
        std::lock_guard lock(mutex_);
        if (posted_.empty()) return n;
        work = std::move(posted_.front());
        posted_.pop_front();
      }
      work();
      ++n;
    }
  }
  std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::size_t posted_count() const {
    std::lock_guard lock(mutex_);
    return posted_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace kestrelon::test
