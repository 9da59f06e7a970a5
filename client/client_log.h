#pragma once
// Messages of the Client program on standard error, one line each, prefixed with
// the Client they concern. Safe to call from the one event-loop thread.
#include <string>

namespace kestrelon::client {

class ClientLog {
 public:
  explicit ClientLog(bool verbose) : verbose_(verbose) {}
  virtual ~ClientLog() = default;
  // Always shown: failures and the end of every transfer.
  virtual void note(const std::string& who, const std::string& text);
  // Shown with --verbose: the steps of a transfer.
  void detail(const std::string& who, const std::string& text) {
    if (verbose_) note(who, text);
  }

 private:
  bool verbose_;
};

}  // namespace kestrelon::client
