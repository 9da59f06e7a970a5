#include "app/text_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace kestrelon {

namespace {

// Closes a descriptor when the scope ends.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::filesystem::path folder_of(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

std::optional<std::string> read_text_file(const std::filesystem::path& file, int* error) {
  Descriptor d{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (d.fd < 0) {
    if (error) *error = errno;
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(d.fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errno;
      return std::nullopt;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  if (error) *error = 0;
  return text;
}

int replace_text_file(const std::filesystem::path& file, std::string_view text) {
  std::error_code ec;
  std::filesystem::path target = file;
  if (std::filesystem::is_symlink(file, ec)) {
    target = std::filesystem::weakly_canonical(file, ec);
    if (ec) return ec.value();
  }
  mode_t mode = 0644;
  struct stat st{};
  if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  std::string temp = (folder_of(target) / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  Descriptor d{::mkostemp(name.data(), O_CLOEXEC)};
  if (d.fd < 0) return errno;
  int err = write_all(d.fd, text);
  if (err == 0 && ::fchmod(d.fd, mode) != 0) err = errno;
  if (err == 0 && ::fsync(d.fd) != 0) err = errno;
  const int closed = ::close(d.fd);
  d.fd = -1;
  if (err == 0 && closed != 0) err = errno;
  if (err == 0 && ::rename(name.data(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(name.data());
    return err;
  }
  // Make the rename itself survive a crash.
  Descriptor dir{::open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd >= 0) ::fsync(dir.fd);
  return 0;
}

int with_folder_lock(const std::filesystem::path& file, const std::function<int()>& work) {
  const std::filesystem::path folder = folder_of(file);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return ec.value();
  Descriptor dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd < 0) return errno;
  while (::flock(dir.fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return work();  // the lock ends with the descriptor
}

}  // namespace kestrelon
