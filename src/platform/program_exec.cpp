#include "platform/program_exec.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace kestrelon {
namespace {

// Marks every descriptor above standard error close-on-exec, so the new program
// does not keep the Controller's sockets bound.
void close_descriptors_on_exec() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return;
  const int own = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd <= 2 || fd == own) continue;
    const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
    if (flags >= 0) ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
  }
  ::closedir(dir);
}

}  // namespace

std::string program_folder() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  std::string path(buffer.data(), static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

std::string platform_path(std::string_view backslash_path) {
  std::string path(backslash_path);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool can_execute(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string find_executable(std::string_view name, const std::string& own_folder, std::string_view search_path) {
  const auto runnable = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && can_execute(path);
  };
  const auto in_folder = [&](std::string_view folder) {
    std::string path(folder.empty() ? std::string_view(".") : folder);
    if (path.back() != '/') path += '/';
    return path + std::string(name);
  };
  if (!own_folder.empty() && runnable(in_folder(own_folder))) return in_folder(own_folder);
  while (true) {
    const std::size_t colon = search_path.find(':');
    const std::string_view folder = search_path.substr(0, colon);
    // An empty entry of PATH means the current folder; a program started from a
    // menu must not pick up whatever lies there.
    if (!folder.empty() && runnable(in_folder(folder))) return in_folder(folder);
    if (colon == std::string_view::npos) return {};
    search_path.remove_prefix(colon + 1);
  }
}

bool replace_process(const std::string& path, const std::string& argv0) {
  close_descriptors_on_exec();
  std::string arg = argv0;
  char* argv[] = {arg.data(), nullptr};
  ::execve(path.c_str(), argv, environ);
  return false;
}

}  // namespace kestrelon
