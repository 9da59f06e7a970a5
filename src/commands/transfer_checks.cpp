#include "commands/transfer_checks.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "transfer/image_file.h"
#include "transfer/image_info.h"

namespace kestrelon {

namespace fs = std::filesystem;

std::string image_problem(const std::string& path) {
  ImageFile image;
  // The image file refuses anything but a regular file (a folder with its own error).
  if (const int e = image.open(path); e == EINVAL) return path + " is not a file";
  else if (e != 0) return "cannot open " + path + ": " + std::strerror(e);
  const SummaryRead summary = image.read_summary();
  return summary.summary ? image_damage(path) : summary.error;
}

std::string image_damage(const std::string& path) {
  ImageFile image;
  if (image.open(path) != 0) return {};
  if (const SummaryRead summary = image.read_summary(); !summary.summary) return summary.error;
  const std::optional<ImageInfo> info = read_image_info(path, nullptr);
  if (!info || info->well_formed()) return {};
  return "The image file " + path + " is damaged: " + info->problem + ".";
}

std::string output_problem(const std::string& path, bool replace) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) return path + " is a folder";
  if (fs::exists(status) && !replace) return path + " exists already";
  fs::path folder = fs::absolute(path, ec).parent_path();
  if (ec) folder = fs::path(path).parent_path();
  if (!fs::is_directory(folder, ec)) return "the folder " + folder.string() + " does not exist";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "cannot write in " + folder.string() + ": " + std::strerror(errno);
  }
  return {};
}

}  // namespace kestrelon
