#include "core/child_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace kestrelon::builder_window {
namespace {

using Clock = std::chrono::steady_clock;

// A line longer than this is handed on in pieces, so a program that never ends
// a line cannot grow the buffer without bound.
constexpr std::size_t kLongestLine = 4096;
// How long output may still come after the child ended, from what it started.
constexpr auto kOutputAfterEnd = std::chrono::milliseconds(500);
constexpr auto kGiveUpOutput = std::chrono::milliseconds(1500);

struct Stream {
  int fd;
  bool error;
  std::string partial;
};

// Hands on `text` as lines of at most kLongestLine characters: a long line comes
// in the same pieces however the pipe happened to split it.
void push_pieces(const Stream& stream, std::string_view text, std::vector<OutputLine>& lines) {
  do {
    lines.push_back({stream.error, std::string(text.substr(0, kLongestLine))});
    text.remove_prefix(std::min(text.size(), kLongestLine));
  } while (!text.empty());
}

void take_lines(Stream& stream, const char* data, std::size_t size, std::vector<OutputLine>& lines) {
  stream.partial.append(data, size);
  std::size_t start = 0;
  while (true) {
    const std::size_t end = stream.partial.find('\n', start);
    if (end == std::string::npos) break;
    std::size_t stop = end;
    if (stop > start && stream.partial[stop - 1] == '\r') --stop;
    push_pieces(stream, std::string_view(stream.partial).substr(start, stop - start), lines);
    start = end + 1;
  }
  stream.partial.erase(0, start);
  while (stream.partial.size() > kLongestLine) {
    lines.push_back({stream.error, stream.partial.substr(0, kLongestLine)});
    stream.partial.erase(0, kLongestLine);
  }
}

void close_stream(Stream& stream, std::vector<OutputLine>& lines) {
  if (stream.fd < 0) return;
  ::close(stream.fd);
  stream.fd = -1;
  if (!stream.partial.empty()) lines.push_back({stream.error, std::move(stream.partial)});
  stream.partial.clear();
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void become_child(const char* program, char* const* argv, int in, int out, int err, int status_fd,
                               pid_t parent) {
  ::setpgid(0, 0);
  // A builder left serving after the window died would hold the DHCP port.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  // Nothing of the window (its display connection, its sockets) reaches the child.
  ::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &default_action, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execv(program, argv);
  const int error = errno;
  ssize_t ignored = ::write(status_fd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

}  // namespace

ChildRunner::ChildRunner(Callbacks callbacks, std::chrono::milliseconds stop_grace)
    : callbacks_(std::move(callbacks)), stop_grace_(stop_grace) {}

ChildRunner::~ChildRunner() {
  if (pid_.load() != 0) stop();
  if (reader_.joinable()) reader_.join();
}

int ChildRunner::stop_grace_seconds() const {
  return static_cast<int>((stop_grace_.count() + 999) / 1000);
}

bool ChildRunner::start(const std::string& program, const std::vector<std::string>& arguments, std::string& error) {
  if (pid_.load() != 0) {
    error = "another program still runs";
    return false;
  }
  if (reader_.joinable()) reader_.join();

  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int status[2] = {-1, -1};
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const auto close_all = [&] {
    for (int fd : {out[0], out[1], err[0], err[1], status[0], status[1], in})
      if (fd >= 0) ::close(fd);
  };
  if (in < 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 || ::pipe2(status, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    close_all();
    return false;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    error = std::strerror(errno);
    close_all();
    return false;
  }
  if (pid == 0) become_child(program.c_str(), argv.data(), in, out[1], err[1], status[1], parent);

  // Also here, so a stop right after the start reaches the group.
  ::setpgid(pid, pid);
  for (int* fd : {&out[1], &err[1], &status[1]}) {
    ::close(*fd);
    *fd = -1;
  }
  int exec_error = 0;
  ssize_t n;
  do n = ::read(status[0], &exec_error, sizeof exec_error);
  while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof exec_error)) {
    ::waitpid(pid, nullptr, 0);
    error = std::strerror(exec_error);
    close_all();
    return false;
  }
  ::close(status[0]);
  ::close(in);
  {
    std::lock_guard lock(mutex_);
    reaped_ = false;
    stop_deadline_ = Clock::time_point::max();
  }
  pid_.store(pid);
  reader_ = std::thread([this, o = out[0], e = err[0]] { read_until_end(o, e); });
  return true;
}

void ChildRunner::stop() {
  std::lock_guard lock(mutex_);
  const pid_t pid = pid_.load();
  if (pid == 0 || reaped_ || stop_deadline_ != Clock::time_point::max()) return;
  ::kill(pid, SIGTERM);
  stop_deadline_ = Clock::now() + stop_grace_;
}

void ChildRunner::read_until_end(int out_fd, int err_fd) {
  const pid_t pid = pid_.load();
  Stream streams[2] = {{out_fd, false, {}}, {err_fd, true, {}}};
  int status = 0;
  bool reaped = false;
  bool killed = false;
  bool leftovers_killed = false;
  Clock::time_point reaped_at;
  std::vector<char> buffer(64 * 1024);
  while (true) {
    pollfd fds[2];
    Stream* polled[2];
    nfds_t count = 0;
    for (auto& stream : streams) {
      if (stream.fd < 0) continue;
      fds[count] = {stream.fd, POLLIN, 0};
      polled[count++] = &stream;
    }
    if (count == 0 && reaped) break;
    const int ready = ::poll(fds, count, 100);
    std::vector<OutputLine> lines;
    for (nfds_t i = 0; ready > 0 && i < count; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
      if (n > 0)
        take_lines(*polled[i], buffer.data(), static_cast<std::size_t>(n), lines);
      else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        close_stream(*polled[i], lines);
    }
    const auto now = Clock::now();
    {
      std::lock_guard lock(mutex_);
      if (!reaped_) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
          reaped_ = reaped = true;
          reaped_at = now;
        } else if (now >= stop_deadline_) {
          ::kill(-pid, SIGKILL);
          killed = true;
          stop_deadline_ = Clock::time_point::max();
        }
      }
    }
    // The child has ended but something it started still holds its output: that
    // belongs to the run too (a server the builder left behind) and ends with it.
    if (reaped && !leftovers_killed && now - reaped_at > kOutputAfterEnd) {
      ::kill(-pid, SIGKILL);
      leftovers_killed = true;
    }
    if (reaped && now - reaped_at > kGiveUpOutput)
      for (auto& stream : streams) close_stream(stream, lines);
    if (!lines.empty()) callbacks_.output(std::move(lines));
  }
  ChildExit exit;
  exit.signalled = WIFSIGNALED(status);
  exit.value = exit.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  exit.killed = killed;
  pid_.store(0);
  callbacks_.ended(exit);
}

}  // namespace kestrelon::builder_window
