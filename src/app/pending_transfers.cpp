#include "app/pending_transfers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>

#include "app/text_file.h"

namespace kestrelon {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockSuffix = ".lock";
constexpr const char* kPendingSuffix = ".pending";
// A lock file without a list is a run that is about to write one; only an old
// one is left over.
constexpr auto kBareLockAge = std::chrono::minutes(1);

std::string run_id() {
  std::random_device random;
  char id[48];
  std::snprintf(id, sizeof id, "kestrelon-%ld-%08x", static_cast<long>(::getpid()), random());
  return id;
}

bool counts(const PendingPc& pc, std::int64_t now) { return pc.until == 0 || pc.until > now; }

void merge(std::vector<PendingPc>& into, const PendingPc& pc) {
  for (PendingPc& p : into) {
    if (p.mac != pc.mac) continue;
    // The mark that lasts longest wins: "while the run lasts" (0) beats any time.
    if (p.until != 0 && (pc.until == 0 || pc.until > p.until)) p = pc;
    return;
  }
  into.push_back(pc);
}

}  // namespace

fs::path PendingTransfers::default_folder() {
  if (const char* dir = std::getenv("KESTRELON_PENDING_DIR"); dir && *dir) return dir;
  return kDefaultFolder;
}

std::string PendingTransfers::mark(const std::vector<PendingPc>& pcs) {
  if (folder_.empty() || pcs.empty()) return "";
  for (const PendingPc& pc : pcs) {
    std::erase_if(marked_, [&](const PendingPc& m) { return m.mac == pc.mac; });
    marked_.push_back(pc);
  }
  return write();
}

std::string PendingTransfers::unmark(const std::vector<MacAddress>& macs) {
  const std::size_t before = marked_.size();
  for (const MacAddress& mac : macs) std::erase_if(marked_, [&](const PendingPc& m) { return m.mac == mac; });
  if (marked_.size() == before) return "";
  if (marked_.empty()) {
    clear();
    return "";
  }
  return write();
}

void PendingTransfers::clear() {
  marked_.clear();
  if (!lock_.held()) return;
  // The list goes first: while the lock is still held, a reader that sees the
  // list also counts it.
  std::error_code ec;
  fs::remove(folder_ / (id_ + kPendingSuffix), ec);
  lock_.release();
}

std::string PendingTransfers::write() {
  if (!lock_.held()) {
    // The boot service makes the folder; without one there is nobody to tell.
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) return "no boot service shares " + folder_.string();
    id_ = run_id();
    lock_ = OwnerLock(folder_ / (id_ + kLockSuffix), 0644);
    if (!lock_.held()) return "cannot write in " + folder_.string() + ": " + std::strerror(lock_.error());
  }
  if (const int err = replace_text_file(folder_ / (id_ + kPendingSuffix), pending_text(marked_)); err != 0) {
    return "cannot write in " + folder_.string() + ": " + std::strerror(err);
  }
  return "";
}

std::string pending_text(const std::vector<PendingPc>& pcs) {
  std::string text = "# kestrelon pending transfers: MAC UNTIL NAME\n";
  for (const PendingPc& pc : pcs) {
    std::string name = pc.name;
    std::replace_if(name.begin(), name.end(), [](char c) { return c == '\n' || c == '\r'; }, '?');
    text += pc.mac.text() + " " + std::to_string(pc.until) + " " + name + "\n";
  }
  return text;
}

std::vector<PendingPc> parse_pending(std::string_view text) {
  std::vector<PendingPc> pcs;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string mac_text, until_text;
    if (!(fields >> mac_text >> until_text)) continue;
    const auto mac = MacAddress::parse(mac_text);
    char* end = nullptr;
    const long long until = std::strtoll(until_text.c_str(), &end, 10);
    if (!mac || end == until_text.c_str() || *end != '\0' || until < 0) continue;
    std::string name;
    std::getline(fields >> std::ws, name);
    pcs.push_back({*mac, until, name});
  }
  return pcs;
}

std::vector<PendingPc> read_pending(const fs::path& folder, std::int64_t now, bool remove_stale) {
  std::vector<PendingPc> pending;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path file = it->path();
    const std::string ext = file.extension().string();
    fs::path lock = file;
    lock.replace_extension(kLockSuffix);
    if (ext == kPendingSuffix) {
      if (!owner_lock_held(lock)) {
        if (remove_stale) {
          std::error_code ignored;
          fs::remove(file, ignored);
          fs::remove(lock, ignored);
        }
        continue;
      }
      if (const auto text = read_text_file(file)) {
        for (const PendingPc& pc : parse_pending(*text))
          if (counts(pc, now)) merge(pending, pc);
      }
    } else if (ext == kLockSuffix && remove_stale) {
      fs::path list = file;
      list.replace_extension(kPendingSuffix);
      std::error_code e1, e2;
      const auto age = fs::file_time_type::clock::now() - fs::last_write_time(file, e1);
      if (!e1 && age > kBareLockAge && !fs::exists(list, e2) && !owner_lock_held(file)) fs::remove(file, e2);
    }
  }
  return pending;
}

}  // namespace kestrelon
