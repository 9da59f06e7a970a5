// Runs one test program so that it leaves the machine as it found it:
//   test_launcher PROGRAM [ARGS...]
//
// - The program gets folders of its own: HOME, the XDG folders and the folder of
//   pending marks point into a fresh temporary folder, removed afterwards. A test
//   that runs the real programs (kestrelon-cli writing its journal and Client
//   inventory, the window writing its settings) then never touches the files of
//   the user who runs the suite.
// - Every process the program starts ends with it. The program runs in a process
//   group of its own, and this launcher adopts the orphans of its descendants
//   (child subreaper). When the program ends, whatever is left of the group and
//   every adopted orphan is ended. When CTest ends the launcher itself for its
//   time (it ends only the process it started), a guard process that outlives the
//   launcher ends the group.
// Nested runs (a test program started by another test under the launcher) keep
// the outer run's folders.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

pid_t g_child = -1;

void forward_signal(int signal) {
  if (g_child > 0) ::kill(-g_child, signal);
}

// Folders of the run's own, in a fresh temporary folder; returns it.
fs::path make_private_folders() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrelon-test.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) {
    std::perror("test_launcher: mkdtemp");
    std::exit(125);
  }
  const fs::path top = name.data();
  const fs::path home = top / "home";
  const struct {
    const char* variable;
    fs::path path;
  } folders[] = {
      {"HOME", home},
      {"XDG_CONFIG_HOME", home / ".config"},
      {"XDG_STATE_HOME", home / ".local/state"},
      {"XDG_DATA_HOME", home / ".local/share"},
      {"XDG_CACHE_HOME", home / ".cache"},
      {"XDG_RUNTIME_DIR", top / "run"},
      {"KESTRELON_PENDING_DIR", top / "pending"},
  };
  for (const auto& f : folders) {
    fs::create_directories(f.path);
    fs::permissions(f.path, fs::perms::owner_all);
    ::setenv(f.variable, f.path.c_str(), 1);
  }
  ::setenv("KESTRELON_TEST_FOLDER", top.c_str(), 1);
  return top;
}

// The processes whose parent is this process, other than `except`.
std::vector<pid_t> adopted_children(pid_t except) {
  std::vector<pid_t> found;
  const std::string self = std::to_string(::getpid());
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...: comm may hold spaces and parentheses.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 > line.size()) continue;
    std::size_t pos = close + 4;  // past ") S "
    const std::size_t end = line.find(' ', pos);
    if (line.substr(pos, end - pos) != self) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (pid != except) found.push_back(pid);
  }
  return found;
}

std::string command_name(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// Ends what the test left behind: its process group and every orphan adopted
// meanwhile, politely first. Returns how many processes were left.
int end_leftovers(pid_t group, pid_t guard) {
  int left = 0;
  for (int round = 0; round < 50; ++round) {
    const bool group_alive = ::kill(-group, 0) == 0;
    std::vector<pid_t> orphans = adopted_children(guard);
    if (!group_alive && orphans.empty()) break;
    const int signal = round < 20 ? SIGTERM : SIGKILL;
    if (round == 0) {
      left = static_cast<int>(orphans.size());
      for (pid_t pid : orphans)
        std::fprintf(stderr, "test_launcher: ending %s (%d), left running by the test\n", command_name(pid).c_str(),
                     static_cast<int>(pid));
    }
    if (group_alive) ::kill(-group, signal);
    for (pid_t pid : orphans) ::kill(pid, signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }
  return left;
}

// A process that outlives the launcher: when CTest kills the launcher for its
// time, the guard learns it from the closed pipe, ends the test's group and
// removes the run's folders.
pid_t start_guard(const fs::path& folders, int* keep_alive_fd) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t guard = ::fork();
  if (guard == 0) {
    ::close(fds[1]);
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    pid_t group = 0;
    // The launcher writes the group's id, then holds the pipe open.
    if (::read(fds[0], &group, sizeof group) != sizeof group) ::_exit(0);
    char byte;
    while (::read(fds[0], &byte, 1) < 0 && errno == EINTR) {
    }
    // The launcher is gone or done: whatever is left of the group ends now.
    if (::kill(-group, 0) == 0) {
      ::kill(-group, SIGTERM);
      ::usleep(500 * 1000);
      ::kill(-group, SIGKILL);
    }
    std::error_code ec;
    fs::remove_all(folders, ec);
    ::_exit(0);
  }
  ::close(fds[0]);
  *keep_alive_fd = fds[1];
  return guard;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: test_launcher PROGRAM [ARGS...]\n");
    return 125;
  }
  if (std::getenv("KESTRELON_TEST_FOLDER")) {
    ::execvp(argv[1], argv + 1);
    std::perror("test_launcher: exec");
    return 127;
  }
  const fs::path top = make_private_folders();
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);

  int keep_alive = -1;
  const pid_t guard = start_guard(top, &keep_alive);

  g_child = ::fork();
  if (g_child == 0) {
    ::setpgid(0, 0);
    if (keep_alive >= 0) ::close(keep_alive);
    ::execvp(argv[1], argv + 1);
    std::perror("test_launcher: exec");
    ::_exit(127);
  }
  ::setpgid(g_child, g_child);  // also here, so the group exists before either goes on
  if (keep_alive >= 0) {
    const pid_t group = g_child;
    if (::write(keep_alive, &group, sizeof group) != sizeof group) std::perror("test_launcher: guard");
  }
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::signal(signal, forward_signal);

  int status = 0;
  while (::waitpid(g_child, &status, 0) < 0 && errno == EINTR) {
  }
  end_leftovers(g_child, guard);
  if (keep_alive >= 0) ::close(keep_alive);
  if (guard > 0) ::waitpid(guard, nullptr, 0);

  std::error_code ec;
  fs::remove_all(top, ec);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "test_launcher: the test ended by signal %d (%s)\n", WTERMSIG(status),
                 ::strsignal(WTERMSIG(status)));
    return 128 + WTERMSIG(status);
  }
  return 125;
}
