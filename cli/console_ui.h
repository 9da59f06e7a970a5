#pragma once
// The command line's user-interface port: messages go to standard error (through
// the transfer's output while one is shown, which clears its progress line first
// and with --json also prints them as events), and work posted from network
// threads runs on the main thread when it drains the queue.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "net/user_messages.h"
#include "transfer_output.h"

namespace kestrelon::cli {

class ConsoleUi final : public UserMessages {
 public:
  void show_message(const std::string& text) override;
  void post_to_ui(std::function<void()> work) override;

  // Runs queued work until the queue is empty or `timeout_ms` passes without work.
  void drain(int timeout_ms = 0);

  int messages_shown() const { return shown_; }
  // Where messages go while a transfer is shown; null for plain standard error.
  void set_output(TransferOutput* output) { output_ = output; }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  int shown_ = 0;
  TransferOutput* output_ = nullptr;
};

}  // namespace kestrelon::cli
