#pragma once
// Output that appears whole or not at all: the builder writes into a temporary
// sibling of --out and renames it into place only once everything is there, so
// a failure or an interruption leaves an earlier --out as it was.
#include <filesystem>

namespace kestrelon::builder {

class StagedOutput {
 public:
  enum class Kind { folder, file };
  // Throws a BuilderError when --out cannot be written or must not be replaced:
  // a folder that holds other things than an earlier build, or something that
  // is not a plain file (a USB stick is written with dd, not here).
  StagedOutput(std::filesystem::path target, Kind kind);
  ~StagedOutput();  // removes the sibling unless committed
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // The temporary sibling to write: a fresh folder, or the path of the file.
  const std::filesystem::path& path() const { return staging_; }
  // Moves the result into place, replacing an earlier one.
  void commit();

  // The file every built folder holds, so a later build may replace it.
  static constexpr const char* kMarker = ".kestrelon-boot";

 private:
  std::filesystem::path target_;
  std::filesystem::path staging_;
  Kind kind_;
  bool committed_ = false;
};

}  // namespace kestrelon::builder
