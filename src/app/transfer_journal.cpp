#include "app/transfer_journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>
#include <thread>

namespace kestrelon {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// A cut line longer than this is not worth keeping: no record is that long.
constexpr off_t kLongestLine = 4 << 20;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads [at, at + length) whole; false on a read error or a short file.
bool read_whole(int fd, off_t at, std::size_t length, char* out) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd, out + done, length - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Calls `line` with each line of the open file, from the last to the first,
// until it returns false.
template <class F>
void lines_from_end(int fd, off_t end, F&& line) {
  std::string carry;  // the start of the line being read, whose end is already in
  std::string text;
  while (end > 0) {
    const off_t start = std::max<off_t>(0, end - static_cast<off_t>(kChunk));
    text.resize(static_cast<std::size_t>(end - start));
    if (!read_whole(fd, start, text.size(), text.data())) return;
    text += carry;
    std::size_t line_end = text.size();
    for (std::size_t nl; line_end > 0 && (nl = text.rfind('\n', line_end - 1)) != std::string::npos; line_end = nl) {
      if (!line(std::string_view(text).substr(nl + 1, line_end - nl - 1))) return;
    }
    carry.assign(text, 0, line_end);
    end = start;
  }
  line(std::string_view(carry));
}

bool is_object_line(std::string_view line) {
  return !line.empty() && JournalRecord::parse(line, nullptr, false).is_object();
}

// The writers of the window and the command line take turns; one that does not
// let go soon is not waited for (the append is one write either way).
void take_turn(int fd) {
  for (int i = 0; i < 100; ++i) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// A line left without its end (its writer died, or the disk filled up under a
// program that did not cut it back) is cut off, or ended when it is a whole
// record that only lacks its line break. Returns the file's new length, or -1.
off_t repair_tail(int fd, off_t size) {
  if (size == 0) return 0;
  char last = 0;
  if (!read_whole(fd, size - 1, 1, &last)) return -1;
  if (last == '\n') return size;
  off_t cut = -1;
  off_t end = size;
  std::array<char, 4096> chunk{};
  while (end > 0 && cut < 0 && size - end < kLongestLine) {
    const off_t start = std::max<off_t>(0, end - static_cast<off_t>(chunk.size()));
    if (!read_whole(fd, start, static_cast<std::size_t>(end - start), chunk.data())) return -1;
    for (off_t i = end - start; i > 0 && cut < 0; --i) {
      if (chunk[static_cast<std::size_t>(i - 1)] == '\n') cut = start + i;
    }
    end = start;
  }
  if (cut < 0 && end == 0) cut = 0;  // the whole file is the one cut line
  if (cut >= 0) {
    std::string tail(static_cast<std::size_t>(size - cut), '\0');
    if (!read_whole(fd, cut, tail.size(), tail.data())) return -1;
    if (!is_object_line(tail)) return ::ftruncate(fd, cut) == 0 ? cut : -1;
  }
  // A whole record that lacks only its line break, or a line too long to be one:
  // ended, so it stays a line of its own.
  return ::write(fd, "\n", 1) == 1 ? size + 1 : -1;
}

int open_journal(const std::filesystem::path& file) {
  // O_NONBLOCK: a FIFO put in the journal's place fails at once instead of
  // waiting for a reader.
  return ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
}

}  // namespace

std::filesystem::path TransferJournal::default_file() {
  // A relative XDG folder is to be ignored, as the base directory rules say.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
    return std::filesystem::path(state) / "kestrelon" / kFileName;
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "state" / "kestrelon" / kFileName;
  }
  return {};
}

std::filesystem::path TransferJournal::older_file() const {
  std::filesystem::path older = file_;
  older += ".1";
  return older;
}

bool TransferJournal::fail(const std::string& why) const {
  if (warning_) {
    warning_("The transfer journal " + file_.string() + " could not be written (" + why +
             "): this transfer is missing from the history.");
  }
  return false;
}

bool TransferJournal::append(const JournalRecord& record) const noexcept {
  if (file_.empty()) return false;
  try {
    const std::string line = record.dump(-1, ' ', false, JournalRecord::error_handler_t::replace) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    auto fd = std::make_unique<Descriptor>(open_journal(file_));
    if (fd->get() < 0) return fail(std::strerror(errno));
    struct stat st {};
    if (::fstat(fd->get(), &st) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail("it is not a plain file");
    take_turn(fd->get());
    // The lock is the file's: it may have been rotated by another writer meanwhile.
    struct stat now {};
    if (::stat(file_.c_str(), &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev) {
      fd = std::make_unique<Descriptor>(open_journal(file_));
      if (fd->get() < 0) return fail(std::strerror(errno));
      take_turn(fd->get());
    }
    if (::fstat(fd->get(), &st) != 0) return fail(std::strerror(errno));
    if (static_cast<std::uintmax_t>(st.st_size) >= kRotateBytes && ::rename(file_.c_str(), older_file().c_str()) == 0) {
      fd = std::make_unique<Descriptor>(open_journal(file_));
      if (fd->get() < 0) return fail(std::strerror(errno));
      take_turn(fd->get());
      if (::fstat(fd->get(), &st) != 0) return fail(std::strerror(errno));
    }
    const off_t size = repair_tail(fd->get(), st.st_size);
    if (size < 0) return fail(std::strerror(errno));
    std::size_t written = 0;
    int error = 0;
    while (written < line.size()) {
      const ssize_t n = ::write(fd->get(), line.data() + written, line.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    if (written == line.size()) return true;
    // Whole or not at all: a cut line would swallow the next one.
    if (::ftruncate(fd->get(), size) != 0 && error == 0) error = errno;
    return fail(std::strerror(error != 0 ? error : ENOSPC));
  } catch (...) {
    return fail("out of memory");
  }
}

TransferJournal::Contents TransferJournal::read() const { return read_last(0); }

TransferJournal::Contents TransferJournal::read_last(std::size_t count) const {
  Contents out;
  out.missing = true;
  if (file_.empty()) return out;
  std::vector<JournalRecord> newest_first;
  for (const std::filesystem::path& path : {file_, older_file()}) {
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    out.missing = false;
    bool enough = false;
    lines_from_end(fd.get(), st.st_size, [&](std::string_view line) {
      if (line.empty()) return true;
      JournalRecord record = JournalRecord::parse(line, nullptr, false);
      if (record.is_object()) {
        newest_first.push_back(std::move(record));
      } else {
        ++out.unreadable;
      }
      enough = count > 0 && newest_first.size() >= count;
      return !enough;
    });
    if (enough) break;
  }
  out.records.assign(std::make_move_iterator(newest_first.rbegin()), std::make_move_iterator(newest_first.rend()));
  return out;
}

}  // namespace kestrelon
