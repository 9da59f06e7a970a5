#include "app/transfer_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

namespace kestrelon {

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

bool TransferJournal::append(const JournalRecord& record) const noexcept {
  if (file_.empty()) return false;
  try {
    const std::string line = record.dump(-1, ' ', false, JournalRecord::error_handler_t::replace) + "\n";
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    // O_NONBLOCK: a FIFO put in the journal's place fails at once instead of
    // waiting for a reader.
    const int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return false;
    std::size_t written = 0;
    while (written < line.size()) {
      const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return written == line.size();
  } catch (...) {
    return false;
  }
}

TransferJournal::Contents TransferJournal::read() const {
  Contents out;
  std::ifstream in(file_);
  if (file_.empty() || !in) {
    out.missing = true;
    return out;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    JournalRecord record = JournalRecord::parse(line, nullptr, false);
    if (record.is_object()) {
      out.records.push_back(std::move(record));
    } else {
      ++out.unreadable;
    }
  }
  return out;
}

}  // namespace kestrelon
