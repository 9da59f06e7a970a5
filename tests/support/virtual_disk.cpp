#include "support/virtual_disk.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace kestrelon::test {
namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

int run_shell(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc == -1) return -1;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
}

bool make_virtual_disk(const std::string& path, std::uint64_t mib, const std::string& script) {
  if (run_shell("truncate -s " + std::to_string(mib) + "M " + quote(path)) != 0) return false;
  if (script.empty()) return true;
  const std::string script_path = path + ".sfdisk";
  {
    std::ofstream out(script_path);
    out << script;
  }
  const int rc = run_shell("sfdisk -q --no-reread --no-tell-kernel " + quote(path) + " < " + quote(script_path) +
                           " >/dev/null 2>&1");
  std::remove(script_path.c_str());
  return rc == 0;
}

std::string mixed_layout_script() {
  return "label: dos\n"
         "2048,16384,83,*\n"
         "18432,8192,b\n"
         "26624,,5\n"
         "28672,8192,83\n"
         "38912,8192,82\n";
}

bool fill_region(const std::string& path, std::uint64_t offset, std::uint64_t length, std::uint32_t seed,
                 bool compressible) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  std::mt19937 rng(seed);
  static const char kWords[][8] = {"disk ", "image ", "sector ", "copy ", "kernel ", "block ", "zlib ", "lab "};
  std::vector<std::uint8_t> buffer(1 << 16);
  bool ok = true;
  while (length > 0 && ok) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
    if (compressible) {
      std::size_t i = 0;
      while (i < n) {
        const char* w = kWords[rng() % 8];
        for (const char* c = w; *c && i < n; ++c) buffer[i++] = static_cast<std::uint8_t>(*c);
      }
    } else {
      for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<std::uint8_t>(rng());
    }
    ok = ::pwrite(fd, buffer.data(), n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
    offset += n;
    length -= n;
  }
  ::close(fd);
  return ok;
}

std::vector<std::uint8_t> read_region(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return {};
  const ssize_t n = ::pread(fd, data.data(), data.size(), static_cast<off_t>(offset));
  ::close(fd);
  if (n != static_cast<ssize_t>(data.size())) return {};
  return data;
}

}  // namespace kestrelon::test
