#include "lab_network.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <utility>

namespace kestrelon::lab {
namespace {


std::string script() { return KESTRELON_NETLAB_SCRIPT; }

bool have(const char* tool) {
  return run_shell(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0;
}

int decode_status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

std::string lab_unavailable_reason() {
  if (::geteuid() != 0) return "needs root to make network namespaces";
  if (!have("ip")) return "the ip tool (iproute2) is missing";
  if (!have("nft")) return "the nft tool (nftables) is missing";
  return {};
}

// ---- LabProcess ---------------------------------------------------------------

LabProcess::LabProcess(pid_t pid, std::string log_path) : pid_(pid), log_path_(std::move(log_path)) {}

LabProcess::~LabProcess() {
  if (pid_ > 0 && !status_) kill(SIGKILL);
}

LabProcess::LabProcess(LabProcess&& o) noexcept
    : pid_(std::exchange(o.pid_, -1)), status_(o.status_), log_path_(std::move(o.log_path_)) {}

LabProcess& LabProcess::operator=(LabProcess&& o) noexcept {
  if (this != &o) {
    if (pid_ > 0 && !status_) kill(SIGKILL);
    pid_ = std::exchange(o.pid_, -1);
    status_ = o.status_;
    log_path_ = std::move(o.log_path_);
  }
  return *this;
}

std::optional<int> LabProcess::wait(std::chrono::milliseconds limit) {
  if (status_ || pid_ <= 0) return status_;
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = decode_status(status);
      return status_;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool LabProcess::running() { return pid_ > 0 && !wait(std::chrono::milliseconds(0)); }

void LabProcess::kill(int signal) {
  if (pid_ <= 0 || status_) return;
  ::kill(pid_, signal);
  if (!wait(std::chrono::milliseconds(2000))) {
    ::kill(pid_, SIGKILL);
    wait(std::chrono::milliseconds(5000));
  }
}

std::string LabProcess::output() const {
  std::ifstream in(log_path_);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- LabNetwork ---------------------------------------------------------------

LabNetwork::LabNetwork(int clients) : hosts_(clients + 1) {
  error_ = lab_unavailable_reason();
  if (!error_.empty()) return;
  run_shell(shell_quote(script()) + " sweep >/dev/null 2>&1");
  std::random_device rd;
  name_ = "kl" + std::to_string(::getpid()) + "x" + std::to_string(rd() % 1000000);
  char dir[] = "/tmp/kestrelon-lab-XXXXXX";
  if (::mkdtemp(dir)) log_dir_ = dir;
  const std::string log = log_dir_.empty() ? "/dev/null" : log_dir_ + "/netlab-up.log";
  const int rc = run_shell(shell_quote(script()) + " up " + name_ + " " + std::to_string(clients) + " >" +
                           shell_quote(log) + " 2>&1");
  ok_ = rc == 0;
  if (!ok_) {
    std::ifstream in(log);
    std::stringstream s;
    s << in.rdbuf();
    error_ = "netlab.sh up failed (" + std::to_string(rc) + "): " + s.str();
  }
}

LabNetwork::~LabNetwork() {
  if (!name_.empty()) run_shell(shell_quote(script()) + " down " + name_ + " >/dev/null 2>&1");
  if (!log_dir_.empty()) run_shell("rm -rf " + shell_quote(log_dir_));
}

std::string LabNetwork::netns(int host) const { return name_ + "-h" + std::to_string(host); }

Ipv4Address LabNetwork::address(int host) { return Ipv4Address(10, 47, 0, static_cast<std::uint8_t>(host + 1)); }

Ipv4Address LabNetwork::address_block(int host) {
  return Ipv4Address(10, 47, static_cast<std::uint8_t>(4 * host), 0);
}

bool LabNetwork::set_loss(int host, double percent) {
  char pct[32];
  std::snprintf(pct, sizeof pct, "%.2f", percent);
  return run_shell(shell_quote(script()) + " loss " + name_ + " " + std::to_string(host) + " " + pct) == 0;
}

int LabNetwork::exec(int host, const std::string& command) {
  return run_shell("ip netns exec " + shell_quote(netns(host)) + " sh -c " + shell_quote(command));
}

LabProcess LabNetwork::spawn(int host, const std::vector<std::string>& argv) {
  if (argv.empty()) return {};
  static int counter = 0;
  const std::string log = (log_dir_.empty() ? std::string("/tmp") : log_dir_) + "/process-" +
                          std::to_string(++counter) + "-h" + std::to_string(host) + ".log";
  const std::string ns_path = "/var/run/netns/" + netns(host);
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int ns = ::open(ns_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) _exit(126);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::fprintf(stderr, "exec %s failed: %s\n", args[0], std::strerror(errno));
    _exit(127);
  }
  return LabProcess(pid, log);
}

bool LabNetwork::run_in(int host, const std::function<void()>& work) { return run_in_namespace(netns(host), work); }

bool run_in_namespace(const std::string& netns, const std::function<void()>& work) {
  bool entered = false;
  const std::string ns_path = "/var/run/netns/" + netns;
  std::thread t([&] {
    const int ns = ::open(ns_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0) return;
    entered = ::setns(ns, CLONE_NEWNET) == 0;
    ::close(ns);
    if (entered) work();
  });
  t.join();
  return entered;
}

std::string shell_quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int run_shell(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc == -1) return -1;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
}

}  // namespace kestrelon::lab
