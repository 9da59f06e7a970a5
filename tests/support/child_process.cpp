#include "support/child_process.h"

#include "support/busy_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <thread>

namespace kestrelon::test {

using Steady = std::chrono::steady_clock;

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  // Everything the child needs is made before the fork: between fork and exec a
  // child of a threaded process may only make async-signal-safe calls.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> env;
  // An entry given here replaces the inherited one of the same name: with both,
  // the child's lookups would find the inherited one first.
  const auto overridden = [&environment](std::string_view inherited) {
    for (const std::string& e : environment) {
      const std::size_t name = e.find('=');
      if (name != std::string::npos && inherited.substr(0, name + 1) == std::string_view(e).substr(0, name + 1))
        return true;
    }
    return false;
  };
  for (char** e = environ; *e; ++e)
    if (!overridden(*e)) env.push_back(*e);
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return;
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Ends with the test, also when the test is killed for its time.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipe_fds[1], STDOUT_FILENO);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  out_fd_ = pipe_fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
}

bool ChildProcess::read_some(int timeout_ms) {
  if (out_fd_ < 0) return false;
  pollfd p{out_fd_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return false;
  char buf[4096];
  const ssize_t n = ::read(out_fd_, buf, sizeof buf);
  if (n <= 0) {
    ::close(out_fd_);
    out_fd_ = -1;
    return false;
  }
  output_.append(buf, static_cast<std::size_t>(n));
  return true;
}

bool ChildProcess::read_until(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = Steady::now() + patient(limit);
  while (output_.find(text) == std::string::npos) {
    if (Steady::now() >= end) return false;
    if (!read_some(20) && out_fd_ < 0) return output_.find(text) != std::string::npos;
  }
  return true;
}

void ChildProcess::send_signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds limit) {
  const auto end = Steady::now() + patient(limit);
  while (pid_ > 0) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      while (read_some(0)) {
      }
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (Steady::now() >= end) return std::nullopt;
    if (!read_some(20)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

}  // namespace kestrelon::test
