#pragma once
// Runs a program as a child process with its standard output on a pipe, for tests
// of the command-line front end. The child shares this process's network
// namespace.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrelon::test {

class ChildProcess {
 public:
  // Starts `argv[0]` with the arguments and extra environment entries ("NAME=value").
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // Limits are what a wait takes on an idle machine; the waits allow many times
  // as long before they give up, so that a busy machine only makes them slower.
  // Reads output until it contains `text` or the limit passes; true when found.
  bool read_until(const std::string& text, std::chrono::milliseconds limit);
  // Output read so far.
  const std::string& output() const { return output_; }
  void send_signal(int signal);
  // Waits for the exit (reading output meanwhile); the exit code, or nullopt when
  // the child did not end in time or ended by a signal.
  std::optional<int> wait(std::chrono::milliseconds limit);

 private:
  bool read_some(int timeout_ms);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string output_;
};

}  // namespace kestrelon::test
