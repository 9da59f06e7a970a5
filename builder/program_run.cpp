#include "program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "builder_error.h"

namespace kestrelon::builder {

ProgramResult run_program(const std::vector<std::string>& argv) {
  ProgramResult result;
  const auto path = find_program(argv.at(0));
  if (!path) {
    result.output = argv[0] + ": not found";
    return result;
  }
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    result.output = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    result.output = std::string("fork: ") + std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, 0);
    ::dup2(pipe_fds[1], 1);
    ::dup2(pipe_fds[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(path->c_str(), args.data());
    _exit(127);
  }
  ::close(pipe_fds[1]);
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
    if (n > 0) {
      result.output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string run_or_throw(const std::vector<std::string>& argv, const std::string& what) {
  const ProgramResult r = run_program(argv);
  if (r.status != 0) {
    std::string words = r.output;
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    throw BuilderError(what + " failed (" + argv[0] + " exit status " + std::to_string(r.status) + ")" +
                       (words.empty() ? std::string() : ": " + words));
  }
  return r.output;
}

std::optional<std::filesystem::path> find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return std::filesystem::path(name);
  const char* env = std::getenv("PATH");
  std::string folders = env ? env : "/usr/local/bin:/usr/bin:/bin";
  folders += ":/usr/local/sbin:/usr/sbin:/sbin";
  std::stringstream in(folders);
  std::string folder;
  while (std::getline(in, folder, ':')) {
    if (folder.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::filesystem::path require_program(const std::string& name, const std::string& package) {
  if (auto path = find_program(name)) return *path;
  throw BuilderError("the program " + name + " is missing: install the Debian package " + package +
                     " (apt-get install " + package + ")");
}

}  // namespace kestrelon::builder
