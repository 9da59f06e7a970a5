#include "core/builder_session.h"

#include <csignal>
#include <cstring>

#include "core/builder_texts.h"

namespace kestrelon::builder_window {
namespace {

bool plain_word(const std::string& word) {
  if (word.empty()) return false;
  for (const char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::strchr("_./,:=+-", c) != nullptr;
    if (!plain) return false;
  }
  return true;
}

// The builder starts its messages with its own name ("kestrelon-builder: no
// kernel found", "kestrelon-builder serve: ..."); the result line names the
// action already.
std::string without_program_name(const std::string& line) {
  const std::string name = text::kBuilderProgram;
  if (line.rfind(name, 0) != 0 || line.size() == name.size()) return line;
  const char next = line[name.size()];
  const std::size_t colon = line.find(": ");
  // At most one word (the command) between the name and the colon.
  if ((next != ':' && next != ' ') || colon == std::string::npos || line.find(' ', name.size() + 1) < colon)
    return line;
  return line.substr(colon + 2);
}

std::string quoted(const std::string& word) {
  if (plain_word(word)) return word;
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string shell_line(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = quoted(program);
  for (const auto& argument : arguments) line += " " + quoted(argument);
  return line;
}

BuilderSession::BuilderSession(ChildPort& child, BuilderEnvironment environment, std::size_t log_limit)
    : child_(child), environment_(std::move(environment)), log_(log_limit) {}

void BuilderSession::open() {
  if (environment_.find_builder().empty()) say(text::kBuilderMissing, true);
}

void BuilderSession::prepare_netboot(const NetbootForm& form) { run(Action::netboot, netboot_command(form)); }

void BuilderSession::prepare_usb(const UsbForm& form) { run(Action::usb, usb_command(form)); }

void BuilderSession::serve(const ServeForm& form, const std::vector<NetworkInterface>& interfaces) {
  run(Action::serve, serve_command(form, interfaces, environment_.root));
}

void BuilderSession::run(Action action, const BuilderCommand& command) {
  if (running_) return;
  if (!command.ok()) {
    say(command.problem, true);
    return;
  }
  const std::string program = environment_.find_builder();
  if (program.empty()) {
    say(text::kBuilderMissing, true);
    return;
  }
  log_.add(LogKind::command, "$ " + shell_line(program, command.arguments));
  std::string error;
  if (!child_.start(program, command.arguments, error)) {
    say(format(text::kCannotStart, program, error), true);
    log_.add(LogKind::result, result_);
    return;
  }
  running_ = true;
  stop_asked_ = false;
  action_ = action;
  target_ = command.target;
  first_error_.clear();
  last_error_.clear();
  say(command.running_text, false);
}

void BuilderSession::stop() {
  if (!running_ || stop_asked_) return;
  stop_asked_ = true;
  child_.stop();
  say(text::kStopping, false);
}

bool BuilderSession::close() {
  if (!running_) return true;
  closing_ = true;
  stop();
  return false;
}

void BuilderSession::output(const std::vector<OutputLine>& lines) {
  for (const auto& line : lines) {
    if (line.error && !line.text.empty()) {
      if (first_error_.empty()) first_error_ = line.text;
      last_error_ = line.text;
    }
    log_.add(line.error ? LogKind::error : LogKind::output, line.text);
  }
}

bool BuilderSession::ended(const ChildExit& exit) {
  if (!running_) return false;
  running_ = false;
  EndText end = end_text(exit);
  if (exit.killed) end.text += format(text::kKilledAfterStop, std::to_string(child_.stop_grace_seconds()));
  say(end.text, end.failed);
  log_.add(LogKind::result, result_);
  return closing_;
}

BuilderSession::EndText BuilderSession::end_text(const ChildExit& exit) const {
  const bool success = !exit.signalled && exit.value == 0;
  const char* ready = action_ == Action::netboot ? text::kNetbootReady
                      : action_ == Action::usb   ? text::kUsbReady
                                                 : text::kServeEnded;
  if (stop_asked_) {
    // A run that ended well before the stop took hold still counts.
    if (action_ != Action::serve) return {success ? format(ready, target_) : text::kPrepareStopped};
    if (success || exit.signalled) return {text::kServeStopped};
  } else if (success) {
    return {format(ready, target_)};
  }
  // A refused command line (status 2) says what is wrong first and how to get
  // help after; any other failure ends with its reason.
  std::string reason = without_program_name(!exit.signalled && exit.value == 2 ? first_error_ : last_error_);
  if (reason.empty())
    reason = exit.signalled ? format(text::kSignalled, std::to_string(exit.value), ::strsignal(exit.value))
                            : format(text::kExitStatus, std::to_string(exit.value));
  const char* failed = action_ == Action::netboot ? text::kNetbootFailed
                       : action_ == Action::usb   ? text::kUsbFailed
                                                  : text::kServeFailed;
  return {format(failed, reason), true};
}

ButtonStates BuilderSession::buttons() const {
  ButtonStates states;
  states.netboot = states.usb = states.serve = !running_;
  states.stop = running_ && !stop_asked_;
  states.stopping = running_ && stop_asked_;
  return states;
}

std::string BuilderSession::serve_note() const { return environment_.root ? std::string() : text::kServeRootNote; }

void BuilderSession::say(std::string text, bool problem) {
  result_ = std::move(text);
  problem_ = problem;
}

}  // namespace kestrelon::builder_window
