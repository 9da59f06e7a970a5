#include "serve.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "builder_error.h"
#include "netboot_tree.h"
#include "pending_menus.h"
#include "port_check.h"
#include "program_run.h"
#include "serve_log.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;
namespace {

void say(const std::string& text) {
  const std::time_t now = std::time(nullptr);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
  std::printf("%s %s\n", stamp, text.c_str());
  std::fflush(stdout);
}

// dnsmasq gives up root and reads the files as its own user.
void check_readable_by_others(const fs::path& dir) {
  std::error_code ec;
  const fs::path real = fs::canonical(dir, ec);
  for (fs::path p = real; !p.empty(); p = p.parent_path()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && !(st.st_mode & S_IXOTH)) {
      throw BuilderError("the TFTP server cannot enter " + p.string() + " (it reads the boot files as an "
                         "unprivileged user): allow it with 'chmod o+rx " + p.string() +
                         "' or keep the boot files in a folder such as /srv/kestrelon-boot");
    }
    if (p == p.parent_path()) break;
  }
}

// The folder dnsmasq serves for this run: the netboot files, and this run's menu.
fs::path make_tftp_root(const ServeSettings& s) {
  const fs::path base = ::access("/run", W_OK) == 0 ? "/run" : "/tmp";
  std::string pattern = (base / "kestrelon-serve-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw BuilderError("cannot make a folder in " + base.string());
  const fs::path root = pattern;
  ::chmod(root.c_str(), 0755);
  const fs::path dir = fs::canonical(s.dir);
  for (const char* name : kNetbootFiles) fs::create_symlink(dir / name, root / name);
  std::ofstream(root / "boot.ipxe") << menu_ipxe_script(s.menu_default, s.menu_timeout);
  return root;
}

class SignalWatch {
 public:
  SignalWatch() {
    sigemptyset(&set_);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, sig);
    sigprocmask(SIG_BLOCK, &set_, &previous_);
    fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC);
  }
  ~SignalWatch() {
    if (fd_ >= 0) ::close(fd_);
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
  }
  int fd() const { return fd_; }
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t set_{}, previous_{};
  int fd_ = -1;
};

pid_t start_dnsmasq(const fs::path& program, const fs::path& config, const sigset_t& mask, int* out_fd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw BuilderError("cannot make a pipe for dnsmasq");
  const pid_t pid = ::fork();
  if (pid < 0) throw BuilderError("cannot start dnsmasq");
  if (pid == 0) {
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    const std::string conf = "--conf-file=" + config.string();
    ::execl(program.c_str(), "dnsmasq", "--keep-in-foreground", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(fds[1]);
  *out_fd = fds[0];
  return pid;
}

}  // namespace

int serve(const ServeSettings& s) {
  check_netboot_tree(s.dir);
  const fs::path dnsmasq = require_program("dnsmasq", "dnsmasq-base");
  const InterfaceNetwork network = interface_network(s.interface);
  if (s.range && (!network.contains(s.range->first) || !network.contains(s.range->last))) {
    throw BuilderError("--dhcp-range " + s.range->first.text() + "," + s.range->last.text() +
                       " lies outside the network of " + s.interface + " (" + network.text() + ")");
  }
  if (s.range && s.range->first.value() <= network.address.value() &&
      network.address.value() <= s.range->last.value()) {
    throw BuilderError("--dhcp-range includes this machine's own address " + network.address.text());
  }
  check_readable_by_others(s.dir);
  check_port_free(67, "DHCP", s.interface, network);
  check_port_free(69, "TFTP", s.interface, network);
  if (!s.range) check_port_free(4011, "PXE boot", s.interface, network);

  const fs::path root = make_tftp_root(s);
  struct Cleanup {
    fs::path root;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(root, ec);
    }
  } cleanup{root};
  DnsmasqSettings d{s.interface, network, s.range, root, root / "leases"};
  const fs::path config = root / "dnsmasq.conf";
  std::ofstream(config) << dnsmasq_config(d);

  SignalWatch signals;
  int out_fd = -1;
  const pid_t pid = start_dnsmasq(dnsmasq, config, signals.previous(), &out_fd);
  say("serving " + fs::canonical(s.dir).string() + " on " + s.interface + " (" + network.text() + ") " +
      (s.range ? "as the DHCP server of " + s.range->first.text() + " to " + s.range->last.text()
               : std::string("by proxy DHCP beside the network's DHCP server")) +
      "; menu: " + menu_choice_word(s.menu_default) + " after " + std::to_string(s.menu_timeout) + " s");

  const fs::path pending_folder = s.pending_folder.empty() ? PendingTransfers::default_folder() : s.pending_folder;
  PendingMenus menus(root, pending_folder);
  if (!menus.problem().empty()) {
    say("PCs marked pending by a Controller cannot be served: " + menus.problem());
  } else {
    say("PCs marked pending in " + pending_folder.string() + " boot into the Client at once");
  }

  ServeLog log(neighbour_mac);
  std::string pending, everything;
  bool stopping = false;
  int status = 0;
  for (;;) {
    for (const std::string& change : menus.sync(std::time(nullptr))) say(change);
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {signals.fd(), POLLIN, 0}};
    // Woken at least once a second to follow the PCs marked pending.
    if (::poll(fds, 2, 1000) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) {
      signalfd_siginfo info{};
      [[maybe_unused]] const ssize_t n = ::read(signals.fd(), &info, sizeof info);
      if (!stopping) ::kill(pid, SIGTERM);
      stopping = true;
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char buffer[4096];
      const ssize_t n = ::read(out_fd, buffer, sizeof buffer);
      if (n <= 0) break;  // dnsmasq has ended
      pending.append(buffer, static_cast<std::size_t>(n));
      if (everything.size() < 65536) everything.append(buffer, static_cast<std::size_t>(n));
      for (auto eol = pending.find('\n'); eol != std::string::npos; eol = pending.find('\n')) {
        if (const auto text = log.translate(pending.substr(0, eol))) say(*text);
        pending.erase(0, eol + 1);
      }
    }
  }
  ::close(out_fd);
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
  }
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  if (stopping) {
    say("stopped");
    return 0;
  }
  throw BuilderError(status == 0 ? "dnsmasq ended unexpectedly"
                                 : ServeLog::explain_start_failure(everything, s.interface));
}

}  // namespace kestrelon::builder
