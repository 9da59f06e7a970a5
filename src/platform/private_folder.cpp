#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrelon {

bool is_private_folder(const std::string& path, std::string* why) {
  const auto refuse = [&](const std::string& reason) {
    if (why) *why = path + " " + reason;
    return false;
  };
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return refuse(std::string("cannot be examined: ") + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return refuse("is not a folder");
  if (st.st_uid != ::geteuid()) return refuse("belongs to another user");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return refuse("may be written by other users");
  return true;
}

}  // namespace kestrelon
