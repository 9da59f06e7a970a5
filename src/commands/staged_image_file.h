#pragma once
// A new image is written beside the name the user chose, under a temporary name
// that the image list does not show ("lab.krn.part"), and takes the chosen name
// only once it has ended whole. A cancelled, silent or failed upload therefore
// leaves an earlier image of that name as it was, and no temporary file behind.
// Driven by the Create flow on the user-interface thread.
//
// An image is private to its owner at first (mode 0640 less the user's umask):
// the administrator shares it with a group, or everyone, by choice. The
// temporary file is locked while it is written, so one that nobody holds is the
// leftover of a Controller that was killed or lost its power; the next Create
// in that folder names it. The final rename replaces only the file the user
// chose to overwrite, as it was when the Create began: a file that appeared at
// that name meanwhile (or took the place of the chosen one) stays, and the new
// image takes the next free name beside it ("lab.1.krn").
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "transfer/buffered_file_writer.h"

namespace kestrelon {

class StagedImageFile {
 public:
  static constexpr const char* kSuffix = ".part";
  static constexpr mode_t kMode = 0640;

  StagedImageFile() = default;
  // Removes the temporary file unless it has been committed.
  ~StagedImageFile();
  StagedImageFile(const StagedImageFile&) = delete;
  StagedImageFile& operator=(const StagedImageFile&) = delete;

  // Creates a temporary file that did not exist before in the folder of
  // `final_path` and opens `writer` on it. Returns 0 or the error number.
  int open(const std::string& final_path, BufferedFileWriter& writer);
  const std::string& temporary_path() const { return temporary_; }
  // The leftovers of earlier Creates in that folder, found by open, and what to
  // tell the user about them (empty for none).
  const std::vector<std::string>& stale_files() const { return stale_; }
  static std::string stale_text(const std::vector<std::string>& files);

  // Whether the written file holds a partition summary: long enough for it, and
  // listing at most 12 partitions. An upload without one is no image.
  bool holds_partition_summary() const;

  // The writer has closed the file whole: its bytes are put on the disk and it
  // takes its name. Returns 0 or the error number (the temporary file is then
  // removed and the chosen name left as it was).
  int commit();
  // Where the committed image is: the chosen name, or the free one beside it.
  const std::string& final_path() const { return final_; }
  // What to tell the user when the image did not take the chosen name; empty
  // when it did.
  const std::string& renamed_text() const { return renamed_text_; }
  // Removes the temporary file when it is still there.
  void discard();

 private:
  // A file's identity: where it lives, and when it last changed, since a file
  // made in place of a deleted one may get its inode number.
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    time_t changed_s = 0;
    long changed_ns = 0;
    bool operator==(const Identity&) const = default;
  };
  static std::optional<Identity> identity_of(const std::string& path);
  // Renames the temporary file to the chosen name, or to the first free one
  // beside it; 0 or the error number.
  int take_name();

  std::string final_;
  std::string temporary_;
  int lock_fd_ = -1;                  // the temporary file, locked while it is written
  std::optional<Identity> replaces_;  // the file at the chosen name when the Create began
  std::string renamed_text_;
  std::vector<std::string> stale_;
};

}  // namespace kestrelon
