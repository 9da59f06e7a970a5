#pragma once
// A lab of network namespaces for tests: a bridge and hosts 0..N (host 0 for the
// Controller), made and removed by netlab.sh. Code can run inside a host on a
// thread of this process (sockets it opens stay in that host), and programs can
// be started inside a host. Everything is removed when the object goes, even
// when a test fails half-way; labs of crashed test processes are swept at the
// next start.
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon::lab {

// Why lab tests cannot run here (not root, no `ip`, no `nft`), or empty.
std::string lab_unavailable_reason();

// Runs `work` on a thread that has entered the named network namespace; sockets
// it opens belong to that namespace and may be used from any thread afterwards.
// Returns false if the namespace could not be entered.
bool run_in_namespace(const std::string& netns, const std::function<void()>& work);
// A shell word holding `text` as it is; and std::system's exit status as a
// shell reports it (128 + the signal for a killed command).
std::string shell_quote(const std::string& text);
int run_shell(const std::string& command);

// A program started inside a lab host. Its standard output and error go to a
// log file that output() reads. The destructor kills it if it still runs.
class LabProcess {
 public:
  LabProcess() = default;
  LabProcess(pid_t pid, std::string log_path);
  ~LabProcess();
  LabProcess(LabProcess&& other) noexcept;
  LabProcess& operator=(LabProcess&& other) noexcept;
  LabProcess(const LabProcess&) = delete;
  LabProcess& operator=(const LabProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The exit status (or 128 + signal), or nullopt if it still runs after `limit`.
  std::optional<int> wait(std::chrono::milliseconds limit);
  bool running();
  // Sends `signal` and waits for the end (SIGKILL after 2 s).
  void kill(int signal = SIGTERM);
  std::string output() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string log_path_;
};

class LabNetwork {
 public:
  // Brings up hosts 0..clients. ok() tells whether it worked; error() why not.
  explicit LabNetwork(int clients);
  ~LabNetwork();
  LabNetwork(const LabNetwork&) = delete;
  LabNetwork& operator=(const LabNetwork&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }
  int host_count() const { return hosts_; }
  std::string netns(int host) const;

  // Host i's address: 10.47.0.(i+1).
  static Ipv4Address address(int host);
  // The first of 1024 further local addresses of host i (1..63), 10.47.(4i).0,
  // for Clients emulated with --count/--address-from.
  static Ipv4Address address_block(int host);

  // Drops `percent` of the UDP datagrams arriving at `host` (0 removes the rule).
  bool set_loss(int host, double percent);
  // Runs a shell command inside `host` and waits; returns its exit status.
  int exec(int host, const std::string& shell_command);
  // Starts argv[0] (a path) inside `host`.
  LabProcess spawn(int host, const std::vector<std::string>& argv);
  // Runs `work` on a thread that has entered `host`'s network namespace; sockets
  // it opens belong to that host and may be used from any thread afterwards.
  // Returns false if the namespace could not be entered.
  bool run_in(int host, const std::function<void()>& work);

 private:
  std::string name_;
  int hosts_ = 0;
  bool ok_ = false;
  std::string error_;
  std::string log_dir_;
};

}  // namespace kestrelon::lab

// Skips the current test, visibly, when no lab can be made here.
#define KESTRELON_REQUIRE_LAB()                                                   \
  do {                                                                            \
    const std::string why = ::kestrelon::lab::lab_unavailable_reason();          \
    if (!why.empty()) GTEST_SKIP() << "SKIPPED: network lab unavailable: " << why; \
  } while (0)
