#include "commands/staged_image_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "transfer/image_file.h"
#include "transfer/receive_engine.h"

namespace kestrelon {

namespace {

// Flushes what the file system holds of `path` to the disk; 0 or the error.
int sync_path(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

std::string folder_of(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// Whether nobody holds the lock a Create keeps on its temporary file.
bool unlocked(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

}  // namespace

StagedImageFile::~StagedImageFile() { discard(); }

std::optional<StagedImageFile::Identity> StagedImageFile::identity_of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return Identity{st.st_dev, st.st_ino, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

int StagedImageFile::open(const std::string& final_path, BufferedFileWriter& writer) {
  discard();
  final_ = final_path;
  kept_.clear();
  replaces_ = identity_of(final_path);
  find_stale_files();
  // A leftover of an earlier run (a crash, a power cut) is never reused: another
  // name is taken instead, so nothing that exists is truncated here.
  for (int n = 0;; ++n) {
    std::string candidate = final_path + (n == 0 ? "" : "." + std::to_string(n)) + kSuffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kMode);
    if (fd < 0) {
      if (errno == EEXIST && n < 1000) continue;
      return errno;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);  // a file of our own making: nobody else holds it
    lock_fd_ = fd;
    temporary_ = std::move(candidate);
    break;
  }
  const int error = writer.open(temporary_);
  if (error != 0) discard();
  return error;
}

namespace {

// Whether `name` is what open makes of an image's name: "NAME.krn.part",
// "NAME.krn.3.part" (the extension in any letter case).
bool is_temporary_name(std::string_view name) {
  const std::string_view suffix = StagedImageFile::kSuffix;
  if (!name.ends_with(suffix)) return false;
  name.remove_suffix(suffix.size());
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot + 1 < name.size() &&
      name.find_first_not_of("0123456789", dot + 1) == std::string_view::npos) {
    name = name.substr(0, dot);
  }
  if (name.size() < 4 || name[name.size() - 4] != '.') return false;
  const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  return lower(name[name.size() - 3]) == 'k' && lower(name[name.size() - 2]) == 'r' &&
         lower(name[name.size() - 1]) == 'n';
}

}  // namespace

void StagedImageFile::find_stale_files() {
  stale_.clear();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_of(final_), ec)) {
    const std::string name = entry.path().filename().string();
    std::error_code type_error;
    if (!entry.is_regular_file(type_error) || !is_temporary_name(name)) continue;
    if (unlocked(entry.path())) stale_.push_back(entry.path().string());
  }
  std::sort(stale_.begin(), stale_.end());
}

std::string StagedImageFile::stale_text(const std::vector<std::string>& files) {
  if (files.empty()) return {};
  std::string text = "Left over from a Create that never ended (the Controller was stopped or lost its power):";
  for (const std::string& f : files) text += "\n  " + f;
  return text + "\nEach holds an incomplete image. Delete it, or keep it if you need what it holds.";
}

bool StagedImageFile::holds_partition_summary() const {
  ImageFile file;
  return !temporary_.empty() && file.open(temporary_) == 0 && file.read_summary().summary.has_value();
}

int StagedImageFile::commit() {
  if (temporary_.empty()) return ENOENT;
  int error = sync_path(temporary_, O_RDONLY);
  if (error == 0) {
    // The file the user chose to replace is replaced; one that took its place, or
    // appeared where there was none, is not.
    const std::optional<Identity> now = identity_of(final_);
    const bool replace = now && replaces_ && *now == *replaces_;
    const int flags = replace ? 0 : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, final_.c_str(), static_cast<unsigned>(flags)) != 0) {
      error = errno;
      if (error == EINVAL && !replace) {
        // A file system without the flag: a hard link fails the same way when the
        // name is taken.
        error = ::link(temporary_.c_str(), final_.c_str()) == 0 ? 0 : errno;
        if (error == 0) ::unlink(temporary_.c_str());
      }
    }
  }
  if (error == EEXIST) {
    // The upload is whole: it stays, under its temporary name.
    if (lock_fd_ >= 0) ::close(lock_fd_);
    lock_fd_ = -1;
    kept_ = temporary_;
    temporary_.clear();
    return error;
  }
  if (error != 0) {
    discard();
    return error;
  }
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
  temporary_.clear();
  // The rename itself is on the disk once the folder is.
  sync_path(folder_of(final_), O_RDONLY | O_DIRECTORY);
  return 0;
}

std::string StagedImageFile::commit_failure_text(int error) const {
  if (error == EEXIST) {
    return "A file named " + final_ + " appeared during the upload and was left as it is. The new image is kept as " +
           kept_ + ": rename it to use it.";
  }
  return ReceiveEngine::kWriteFailedText + std::string(std::strerror(error));
}

void StagedImageFile::discard() {
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
  if (temporary_.empty()) return;
  ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace kestrelon
