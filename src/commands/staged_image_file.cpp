#include "commands/staged_image_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "transfer/image_file.h"

namespace kestrelon {

namespace {

namespace fs = std::filesystem;

// Flushes what the file system holds of `path` to the disk; 0 or the error.
int sync_path(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

std::string folder_of(const std::string& path) {
  const std::string folder = fs::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

// Whether `name` is what open makes of an image's name: "NAME.krn.part" or
// "NAME.krn.3.part", the extension in any letter case.
bool is_temporary_name(std::string name) {
  const std::size_t suffix = std::strlen(StagedImageFile::kSuffix);
  if (!name.ends_with(StagedImageFile::kSuffix)) return false;
  name.resize(name.size() - suffix);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot + 1 < name.size() &&
      name.find_first_not_of("0123456789", dot + 1) == std::string::npos) {
    name.resize(dot);
  }
  return name.size() > 4 && ::strcasecmp(name.c_str() + name.size() - 4, ".krn") == 0;
}

// Whether nobody holds the lock a Create keeps on its temporary file.
bool unlocked(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

std::vector<std::string> leftovers_in(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    std::error_code type_error;
    if (entry.is_regular_file(type_error) && is_temporary_name(entry.path().filename().string()) &&
        unlocked(entry.path())) {
      found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Renames `from` to `to` unless `to` exists; 0, EEXIST or another error number.
int rename_without_replacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag (NFS): a hard link fails the same way when
  // the name is taken.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return errno;
  // Nor hard links (SMB, FAT over FUSE): a look first, open to a race of a moment.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// "lab.krn" as the n-th free name: "lab.1.krn".
std::string numbered(const std::string& path, int n) {
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + "." + std::to_string(n) + p.extension().string())).string();
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
  renamed_text_.clear();
  replaces_ = identity_of(final_path);
  stale_ = leftovers_in(folder_of(final_path));
  // A leftover of an earlier run is never reused: another name is taken instead,
  // so nothing that exists is truncated here.
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

int StagedImageFile::take_name() {
  const std::optional<Identity> now = identity_of(final_);
  if (now && replaces_ && *now == *replaces_) return ::rename(temporary_.c_str(), final_.c_str()) == 0 ? 0 : errno;
  const std::string chosen = final_;
  for (int n = 0; n < 1000; ++n) {
    const std::string name = n == 0 ? chosen : numbered(chosen, n);
    const int error = rename_without_replacing(temporary_, name);
    if (error == EEXIST) continue;
    if (error == 0 && n > 0) {
      final_ = name;
      renamed_text_ = "A file named " + chosen + " appeared during the upload and was left as it is. ";
      renamed_text_ += "The new image is " + name + ".";
    }
    return error;
  }
  return EEXIST;
}

int StagedImageFile::commit() {
  if (temporary_.empty()) return ENOENT;
  int error = sync_path(temporary_, O_RDONLY);
  if (error == 0) error = take_name();
  if (error != 0) {
    discard();
    return error;
  }
  ::close(lock_fd_);
  lock_fd_ = -1;
  temporary_.clear();
  // The rename itself is on the disk once the folder is.
  sync_path(folder_of(final_), O_RDONLY | O_DIRECTORY);
  return 0;
}

void StagedImageFile::discard() {
  if (lock_fd_ >= 0) ::close(lock_fd_);
  lock_fd_ = -1;
  if (temporary_.empty()) return;
  ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace kestrelon
