#include "commands/staged_image_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

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

}  // namespace

StagedImageFile::~StagedImageFile() { discard(); }

int StagedImageFile::open(const std::string& final_path, BufferedFileWriter& writer) {
  discard();
  final_ = final_path;
  // A leftover of an earlier run (a crash, a power cut) is never reused: another
  // name is taken instead, so nothing that exists is truncated here.
  for (int n = 0;; ++n) {
    std::string candidate = final_path + (n == 0 ? "" : "." + std::to_string(n)) + kSuffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST && n < 1000) continue;
      return errno;
    }
    ::close(fd);
    temporary_ = std::move(candidate);
    break;
  }
  const int error = writer.open(temporary_);
  if (error != 0) discard();
  return error;
}

int StagedImageFile::commit() {
  if (temporary_.empty()) return ENOENT;
  int error = sync_path(temporary_, O_RDONLY);
  if (error == 0 && std::rename(temporary_.c_str(), final_.c_str()) != 0) error = errno;
  if (error != 0) {
    discard();
    return error;
  }
  temporary_.clear();
  // The rename itself is on the disk once the folder is.
  std::string folder = std::filesystem::path(final_).parent_path().string();
  sync_path(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
  return 0;
}

void StagedImageFile::discard() {
  if (temporary_.empty()) return;
  ::unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace kestrelon
