#include "staged_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "builder_error.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;

StagedOutput::StagedOutput(fs::path target, Kind kind) : target_(std::move(target)), kind_(kind) {
  std::error_code ec;
  target_ = fs::absolute(target_, ec);
  const fs::path parent = target_.parent_path();
  if (!fs::is_directory(parent, ec)) throw BuilderError("the folder " + parent.string() + " does not exist");
  if (::access(parent.c_str(), W_OK) != 0) throw BuilderError("cannot write into " + parent.string());
  const auto status = fs::symlink_status(target_, ec);
  if (kind_ == Kind::folder && fs::exists(status)) {
    if (!fs::is_directory(status)) throw BuilderError(target_.string() + " exists and is not a folder");
    if (!fs::is_empty(target_, ec) && !fs::exists(target_ / kMarker)) {
      throw BuilderError(target_.string() + " holds files kestrelon-builder did not write; give a new or empty folder");
    }
  }
  if (kind_ == Kind::file && fs::exists(status) && !fs::is_regular_file(status)) {
    throw BuilderError(target_.string() + " exists and is not a plain file (write the image to a USB stick with dd)");
  }
  std::string pattern = (parent / ("." + target_.filename().string() + ".partial-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw BuilderError("cannot make a temporary folder in " + parent.string());
  staging_ = pattern;
  if (kind_ == Kind::file) staging_ /= target_.filename();
}

StagedOutput::~StagedOutput() {
  if (committed_) return;
  std::error_code ec;
  fs::remove_all(kind_ == Kind::file ? staging_.parent_path() : staging_, ec);
}

void StagedOutput::commit() {
  std::error_code ec;
  if (kind_ == Kind::file) {
    fs::rename(staging_, target_, ec);
    if (ec) throw BuilderError("cannot move the image to " + target_.string() + ": " + ec.message());
    fs::remove(staging_.parent_path(), ec);
    committed_ = true;
    return;
  }
  ::chmod(staging_.c_str(), 0755);  // mkdtemp made it private; the TFTP server reads it
  fs::path earlier;
  if (fs::exists(target_)) {
    earlier = staging_.string() + ".earlier";
    fs::rename(target_, earlier, ec);
    if (ec) throw BuilderError("cannot move the earlier " + target_.string() + " aside: " + ec.message());
  }
  fs::rename(staging_, target_, ec);
  if (ec) {
    if (!earlier.empty()) fs::rename(earlier, target_);
    throw BuilderError("cannot move the boot files to " + target_.string() + ": " + ec.message());
  }
  committed_ = true;
  if (!earlier.empty()) fs::remove_all(earlier, ec);
}

}  // namespace kestrelon::builder
