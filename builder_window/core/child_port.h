#pragma once
// The port between the builder window's core and the program it runs: start it,
// ask it to stop, and, coming back, its output lines and how it ended. The real
// port is ChildRunner; tests use a recording fake.
#include <string>
#include <vector>

namespace kestrelon::builder_window {

struct OutputLine {
  bool error = false;  // from standard error
  std::string text;
};

struct ChildExit {
  bool signalled = false;  // ended by a signal (else it exited)
  int value = 0;           // the exit status or the signal number
  bool killed = false;     // it did not end after the stop and was killed
};

class ChildPort {
 public:
  virtual ~ChildPort() = default;
  // Starts `program` with `arguments`; false, with `error` saying why, when it
  // could not be started.
  virtual bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error) = 0;
  // Asks the running program to end; the port ends it for good when it does not.
  virtual void stop() = 0;
  // How long the port waits after a stop before it kills, in seconds.
  virtual int stop_grace_seconds() const = 0;
};

}  // namespace kestrelon::builder_window
