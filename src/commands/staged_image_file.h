#pragma once
// A new image is written beside the name the user chose, under a temporary name
// that the image list does not show ("lab.krn.part"), and takes the chosen name
// only once it has ended whole. A cancelled, silent or failed upload therefore
// leaves an earlier image of that name as it was, and no temporary file behind.
// Driven by the Create flow on the user-interface thread.
#include <string>

#include "transfer/buffered_file_writer.h"

namespace kestrelon {

class StagedImageFile {
 public:
  static constexpr const char* kSuffix = ".part";

  StagedImageFile() = default;
  // Removes the temporary file unless it has been committed.
  ~StagedImageFile();
  StagedImageFile(const StagedImageFile&) = delete;
  StagedImageFile& operator=(const StagedImageFile&) = delete;

  // Creates a temporary file that did not exist before in the folder of
  // `final_path` and opens `writer` on it. Returns 0 or the error number.
  int open(const std::string& final_path, BufferedFileWriter& writer);
  const std::string& temporary_path() const { return temporary_; }

  // The writer has closed the file whole: its bytes are put on the disk and it is
  // renamed over the chosen name. Returns 0 or the error number (the temporary
  // file is then removed and the chosen name left as it was).
  int commit();
  // Removes the temporary file when it is still there.
  void discard();

 private:
  std::string final_;
  std::string temporary_;
};

}  // namespace kestrelon
