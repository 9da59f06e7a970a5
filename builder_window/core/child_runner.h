#pragma once
// Runs one program at a time as a child process, without ever blocking the
// caller: a reader thread collects its standard output and error line by line
// and reports them, and its end, through the callbacks (on that thread; the
// window hands them on to its own thread). The child leads a process group of
// its own, so a stop that is not obeyed ends everything it started, and it gets
// SIGTERM if this process dies first.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "core/child_port.h"

namespace kestrelon::builder_window {

class ChildRunner final : public ChildPort {
 public:
  struct Callbacks {
    std::function<void(std::vector<OutputLine>)> output;  // lines read together
    std::function<void(ChildExit)> ended;                 // the last call of a run
  };

  explicit ChildRunner(Callbacks callbacks, std::chrono::milliseconds stop_grace = std::chrono::seconds(5));
  // Ends a child that still runs (stop, then kill after the grace) and waits for
  // the reader thread.
  ~ChildRunner() override;
  ChildRunner(const ChildRunner&) = delete;
  ChildRunner& operator=(const ChildRunner&) = delete;

  bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error) override;
  // Sends SIGTERM to the child; after the grace, SIGKILL to its process group.
  void stop() override;
  int stop_grace_seconds() const override;

  // The running child's process id, 0 when none runs.
  pid_t pid() const { return pid_.load(); }

 private:
  void read_until_end(int out_fd, int err_fd);

  Callbacks callbacks_;
  std::chrono::milliseconds stop_grace_;
  std::atomic<pid_t> pid_{0};
  std::mutex mutex_;  // guards reaped_ and stop_deadline_ against the reader thread
  bool reaped_ = true;
  std::chrono::steady_clock::time_point stop_deadline_ = std::chrono::steady_clock::time_point::max();
  std::thread reader_;
};

}  // namespace kestrelon::builder_window
