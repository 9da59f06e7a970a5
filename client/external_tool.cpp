#include "external_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kestrelon::client {
namespace {
constexpr std::size_t kKeptOutput = 8192;
}

std::optional<std::string> find_tool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path ? path : "") + ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  std::size_t at = 0;
  while (at <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string dir = dirs.substr(at, end - at);
    at = end + 1;
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::optional<ToolRun> run_tool(const std::vector<std::string>& argv, std::string* why) {
  const auto program = find_tool(argv.at(0));
  if (!program) {
    if (why) *why = argv[0] + " is not installed";
    return std::nullopt;
  }
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    if (why) *why = std::string("pipe failed: ") + std::strerror(errno);
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program->c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    if (why) *why = "starting " + *program + " failed: " + std::strerror(rc);
    return std::nullopt;
  }
  ToolRun run;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.output.append(buffer, static_cast<std::size_t>(n));
    if (run.output.size() > 2 * kKeptOutput) run.output.erase(0, run.output.size() - kKeptOutput);
  }
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string last_line(const std::string& output) {
  std::size_t end = output.find_last_not_of(" \n\r\t");
  if (end == std::string::npos) return {};
  const std::size_t start = output.rfind('\n', end);
  return output.substr(start == std::string::npos ? 0 : start + 1,
                       end + 1 - (start == std::string::npos ? 0 : start + 1));
}

}  // namespace kestrelon::client
