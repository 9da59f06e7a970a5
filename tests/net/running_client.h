#pragma once
// The Client program run inside a test process, on a thread of its own.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "client_runtime.h"

namespace kestrelon::client {

class RunningClient {
 public:
  explicit RunningClient(const ClientOptions& options) {
    std::string error;
    runtime_ = ClientRuntime::create(options, &error);
    EXPECT_TRUE(runtime_) << error;
    if (runtime_) thread_ = std::thread([this] { status_ = runtime_->run(); });
  }
  ~RunningClient() { stop(); }
  RunningClient(const RunningClient&) = delete;
  RunningClient& operator=(const RunningClient&) = delete;

  bool ok() const { return runtime_ != nullptr; }
  // Stops the event loop; returns its status.
  int stop() {
    if (runtime_) runtime_->stop();
    if (thread_.joinable()) thread_.join();
    return status_;
  }
  // Waits for run() to return by itself (with --once); its status, or -1.
  int wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (status_ < 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (status_ >= 0 && thread_.joinable()) thread_.join();
    return status_;
  }

 private:
  std::unique_ptr<ClientRuntime> runtime_;
  std::thread thread_;
  std::atomic<int> status_{-1};
};

}  // namespace kestrelon::client
