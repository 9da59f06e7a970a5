#pragma once
// The window-free half of the builder window: what each of its buttons does
// (check the form, start kestrelon-builder with the arguments made from it, or
// say why not), which buttons are enabled while a run goes on, the log it
// keeps, and the result line each run ends with. One run at a time. The window
// reads the forms from its fields, calls in on each button and on each report
// of the child, and shows what this class holds; it holds no rule of its own.
#include <functional>
#include <string>
#include <vector>

#include "core/builder_forms.h"
#include "core/builder_log.h"
#include "core/child_port.h"
#include "core/network_interfaces.h"

namespace kestrelon::builder_window {

enum class Action { netboot, usb, serve };

struct ButtonStates {
  bool netboot = false;
  bool usb = false;
  bool serve = false;
  bool stop = false;
  bool stopping = false;  // a stop was asked and the run has not ended yet
};

struct BuilderEnvironment {
  // kestrelon-builder's path; empty when it is not installed. Asked at each
  // start, so installing it while the window is open is enough.
  std::function<std::string()> find_builder;
  bool root = false;  // may bind the DHCP and TFTP ports
};

class BuilderSession {
 public:
  static constexpr std::size_t kLogLimit = 5000;

  BuilderSession(ChildPort& child, BuilderEnvironment environment, std::size_t log_limit = kLogLimit);

  // At the window's start: a missing builder is said at once.
  void open();

  void prepare_netboot(const NetbootForm& form);
  void prepare_usb(const UsbForm& form);
  void serve(const ServeForm& form, const std::vector<NetworkInterface>& interfaces);
  void stop();

  // The window is asked to close. True: it may close now. False: the run is
  // being stopped, and `ended` says when the window closes.
  bool close();

  // The child's reports, on the window's thread.
  void output(const std::vector<OutputLine>& lines);
  // Returns true when the window is to close now (a close waited for this end).
  bool ended(const ChildExit& exit);

  bool running() const { return running_; }
  ButtonStates buttons() const;
  // The line under the buttons: what runs, or how the last run or refusal ended.
  const std::string& result() const { return result_; }
  bool result_is_problem() const { return problem_; }
  // A note beside Serve when this process may not serve; empty otherwise.
  std::string serve_note() const;
  const BuilderLog& log() const { return log_; }

 private:
  void run(Action action, const BuilderCommand& command);
  void say(std::string text, bool problem);
  struct EndText {
    std::string text;
    bool failed = false;
  };
  EndText end_text(const ChildExit& exit) const;

  ChildPort& child_;
  BuilderEnvironment environment_;
  BuilderLog log_;
  bool running_ = false;
  bool stop_asked_ = false;
  bool closing_ = false;
  Action action_ = Action::netboot;
  std::string target_;
  std::string first_error_;  // the run's first and last lines on standard error
  std::string last_error_;
  std::string result_;
  bool problem_ = false;
};

// A command line as a shell would take it back: words with other characters
// than letters, digits and "_./,:=+-" in single quotes.
std::string shell_line(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace kestrelon::builder_window
