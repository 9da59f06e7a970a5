#include "ext_files.h"

// com_err's header declares its functions without C linkage for C++.
extern "C" {
#include <et/com_err.h>
}
#include <ext2fs/ext2fs.h>

#include <ctime>
#include <vector>

namespace kestrelon::client {

struct ExtFiles::Handle {
  ext2_filsys fs = nullptr;
};

namespace {

std::string why(errcode_t rc) { return error_message(rc); }

struct FileCloser {
  ext2_file_t file;
  ~FileCloser() {
    if (file) ext2fs_file_close(file);
  }
};

// The folder and the last part of an absolute path.
std::pair<std::string, std::string> split(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

ExtFiles::ExtFiles(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

ExtFiles::~ExtFiles() {
  std::string ignored;
  close(&ignored);
}

std::unique_ptr<ExtFiles> ExtFiles::open(const std::string& device, std::uint64_t offset, std::string* error) {
  auto handle = std::make_unique<Handle>();
  const std::string options = "offset=" + std::to_string(offset);
  errcode_t rc = ext2fs_open2(device.c_str(), options.c_str(), EXT2_FLAG_RW | EXT2_FLAG_64BITS, 0, 0,
                              unix_io_manager, &handle->fs);
  if (rc == 0) rc = ext2fs_read_bitmaps(handle->fs);
  if (rc != 0) {
    if (handle->fs) ext2fs_close_free(&handle->fs);
    if (error) *error = "the ext file system does not open: " + why(rc);
    return nullptr;
  }
  return std::unique_ptr<ExtFiles>(new ExtFiles(std::move(handle)));
}

bool ExtFiles::needs_recovery() const { return ext2fs_has_feature_journal_needs_recovery(handle_->fs->super); }

ExtFiles::Kind ExtFiles::kind(const std::string& path) const {
  ext2_ino_t ino = 0;
  if (ext2fs_namei(handle_->fs, EXT2_ROOT_INO, EXT2_ROOT_INO, path.c_str(), &ino) != 0) return Kind::missing;
  ext2_inode inode{};
  if (ext2fs_read_inode(handle_->fs, ino, &inode) != 0) return Kind::other;
  if (LINUX_S_ISREG(inode.i_mode)) return Kind::regular;
  return LINUX_S_ISLNK(inode.i_mode) ? Kind::link : Kind::other;
}

std::optional<std::string> ExtFiles::read(const std::string& path, std::size_t limit) const {
  if (kind(path) != Kind::regular) return std::nullopt;
  ext2_ino_t ino = 0;
  ext2fs_namei(handle_->fs, EXT2_ROOT_INO, EXT2_ROOT_INO, path.c_str(), &ino);
  FileCloser f{nullptr};
  if (ext2fs_file_open(handle_->fs, ino, 0, &f.file) != 0) return std::nullopt;
  __u64 size = 0;
  if (ext2fs_file_get_lsize(f.file, &size) != 0 || size > limit) return std::nullopt;
  std::string bytes(size, '\0');
  unsigned int got = 0;
  if (size > 0 && (ext2fs_file_read(f.file, bytes.data(), static_cast<unsigned int>(size), &got) != 0 || got != size)) {
    return std::nullopt;
  }
  return bytes;
}

bool ExtFiles::write(const std::string& path, std::string_view content, std::string* error) {
  ext2_filsys fs = handle_->fs;
  const auto failed = [&](const std::string& what, errcode_t rc) {
    if (error) *error = what + " " + path + " failed: " + why(rc);
    return false;
  };
  ext2_ino_t ino = 0;
  errcode_t rc = ext2fs_namei(fs, EXT2_ROOT_INO, EXT2_ROOT_INO, path.c_str(), &ino);
  const auto now = static_cast<__u32>(std::time(nullptr));
  if (rc == EXT2_ET_FILE_NOT_FOUND) {
    // A new file, made as the e2fsprogs tools make one.
    const auto [folder, name] = split(path);
    ext2_ino_t parent = 0;
    if ((rc = ext2fs_namei(fs, EXT2_ROOT_INO, EXT2_ROOT_INO, folder.c_str(), &parent)) != 0) {
      return failed("finding the folder of", rc);
    }
    if ((rc = ext2fs_new_inode(fs, parent, LINUX_S_IFREG | 0644, nullptr, &ino)) != 0) return failed("making", rc);
    rc = ext2fs_link(fs, parent, name.c_str(), ino, EXT2_FT_REG_FILE);
    if (rc == EXT2_ET_DIR_NO_SPACE && (rc = ext2fs_expand_dir(fs, parent)) == 0) {
      rc = ext2fs_link(fs, parent, name.c_str(), ino, EXT2_FT_REG_FILE);
    }
    if (rc != 0) return failed("linking", rc);
    ext2fs_inode_alloc_stats2(fs, ino, +1, 0);
    ext2_inode_large inode{};
    inode.i_mode = LINUX_S_IFREG | 0644;
    inode.i_links_count = 1;
    inode.i_atime = inode.i_ctime = inode.i_mtime = now;
    if (ext2fs_has_feature_extents(fs->super)) {
      // An empty extent tree in the inode, so the file's blocks are mapped by extents.
      ext2_extent_handle_t extents = nullptr;
      if ((rc = ext2fs_extent_open2(fs, ino, reinterpret_cast<ext2_inode*>(&inode), &extents)) != 0) {
        return failed("starting the extents of", rc);
      }
      ext2fs_extent_free(extents);
    }
    if ((rc = ext2fs_write_new_inode(fs, ino, reinterpret_cast<ext2_inode*>(&inode))) != 0) {
      return failed("writing the inode of", rc);
    }
  } else if (rc != 0) {
    return failed("finding", rc);
  } else if (kind(path) != Kind::regular) {
    if (error) *error = path + " is not a regular file";
    return false;
  }
  FileCloser f{nullptr};
  if ((rc = ext2fs_file_open(fs, ino, EXT2_FILE_WRITE, &f.file)) != 0) return failed("opening", rc);
  if ((rc = ext2fs_file_set_size2(f.file, 0)) != 0) return failed("emptying", rc);
  unsigned int written = 0;
  if (!content.empty() &&
      (rc = ext2fs_file_write(f.file, content.data(), static_cast<unsigned int>(content.size()), &written)) != 0) {
    return failed("writing", rc);
  }
  if ((rc = ext2fs_file_close(f.file)) != 0) return failed("closing", rc);
  f.file = nullptr;
  ext2_inode inode{};
  if ((rc = ext2fs_read_inode(fs, ino, &inode)) != 0) return failed("reading the inode of", rc);
  inode.i_mtime = inode.i_ctime = now;
  if ((rc = ext2fs_write_inode(fs, ino, &inode)) != 0) return failed("writing the inode of", rc);
  return true;
}

bool ExtFiles::close(std::string* error) {
  if (!handle_ || !handle_->fs) return true;
  const errcode_t rc = ext2fs_close_free(&handle_->fs);
  if (rc != 0 && error) *error = "writing the ext file system out failed: " + why(rc);
  return rc == 0;
}

}  // namespace kestrelon::client
