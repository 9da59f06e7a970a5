#include "copy_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kestrelon::client {

// ---- StoreSink ----------------------------------------------------------------

std::string safe_file_name(const std::string& name) {
  std::string s = name;
  for (char& c : s) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  if (s.empty() || s == "." || s == "..") s = "image.krn";
  return s;
}

std::unique_ptr<StoreSink> StoreSink::open(const std::string& dir, const std::string& name, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = dir + "/" + safe_file_name(name);
  const std::string part = path + ".part";
  // A symbolic link planted at the .part path would have the copy overwrite
  // whatever it points to.
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0640);
  if (fd < 0) {
    if (error) {
      *error = errno == ELOOP ? part + " is a symbolic link; refusing to write through it"
                              : "cannot create " + part + ": " + std::strerror(errno);
    }
    return nullptr;
  }
  return std::unique_ptr<StoreSink>(new StoreSink(path, fd));
}

StoreSink::~StoreSink() {
  if (fd_ >= 0) abandon();
}

bool StoreSink::consume(std::span<const std::uint8_t> bytes) {
  if (pending_.size() + bytes.size() > kWriteSize && !flush()) return false;
  if (bytes.size() >= kWriteSize) return write_all(bytes);
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  return true;
}

bool StoreSink::flush() {
  const bool ok = write_all(pending_);
  pending_.clear();
  return ok;
}

bool StoreSink::write_all(std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "writing " + path_ + ".part failed: " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool StoreSink::finish() {
  if (!flush()) return false;
  const bool synced = ::fsync(fd_) == 0;
  ::close(fd_);
  fd_ = -1;
  if (!synced || std::rename((path_ + ".part").c_str(), path_.c_str()) != 0) {
    error_ = "completing " + path_ + " failed: " + std::strerror(errno);
    return false;
  }
  return true;
}

void StoreSink::abandon() {
  pending_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::remove((path_ + ".part").c_str());
}

// ---- ImageRestorer --------------------------------------------------------------

ImageRestorer::ImageRestorer(std::unique_ptr<DiskDevice> disk) : disk_(std::move(disk)) {}

bool ImageRestorer::fail(std::string why) {
  error_ = std::move(why);
  stage_ = Stage::failed;
  return false;
}

bool ImageRestorer::consume(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (stage_ == Stage::failed) return false;
    if (stage_ == Stage::ended) return fail("the image has bytes after its end chunk");
    const std::size_t take = std::min(bytes.size(), wanted_ - pending_.size());
    pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
    bytes = bytes.subspan(take);
    if (pending_.size() < wanted_) continue;
    const bool ok = stage_ == Stage::header ? take_header() : take_chunk();
    if (!ok) return false;
  }
  return stage_ != Stage::failed;
}

bool ImageRestorer::take_header() {
  const image::HeaderParse parsed = image::parse_header(pending_);
  if (parsed.state == image::HeaderParse::State::invalid) return fail(parsed.error);
  if (parsed.state == image::HeaderParse::State::need_more) {
    wanted_ = parsed.needed;
    return true;
  }
  header_ = parsed.header;
  if (header_.sectors_needed() > disk_->sectors()) {
    return fail("the image needs " + std::to_string(header_.sectors_needed()) + " sectors, but " + disk_->path() +
                " has " + std::to_string(disk_->sectors()));
  }
  written_.assign(header_.partitions.size(), 0);
  pending_.clear();
  stage_ = Stage::chunk_head;
  wanted_ = image::kChunkHeadSize;
  return true;
}

bool ImageRestorer::zero_up_to(std::size_t p, std::uint64_t offset) {
  const image::ImagePartition& part = header_.partitions[p];
  if (offset > written_[p] &&
      !disk_->zero_range(part.start_lba * kSectorSize + written_[p], offset - written_[p])) {
    return fail("clearing partition " + std::to_string(part.number) + " of " + disk_->path() +
                " failed: " + std::strerror(errno));
  }
  written_[p] = std::max(written_[p], offset);
  return true;
}

bool ImageRestorer::take_chunk() {
  if (stage_ == Stage::chunk_head) {
    std::string why;
    const auto head = image::decode_chunk_head(pending_, &why);
    if (!head) return fail(why);
    chunk_ = *head;
    pending_.clear();
    if (chunk_.is_end()) {
      stage_ = Stage::ended;
      wanted_ = 0;
      return true;
    }
    if (chunk_.partition >= header_.partitions.size()) return fail("a chunk names a partition the image lacks");
    const std::uint64_t size = std::uint64_t{header_.partitions[chunk_.partition].sectors} * kSectorSize;
    if (chunk_.offset < written_[chunk_.partition] || chunk_.offset > size || chunk_.raw_length > size - chunk_.offset) {
      return fail("a chunk lies outside its partition or out of order");
    }
    stage_ = Stage::chunk_body;
    wanted_ = chunk_.stored_length;
    return true;
  }
  std::span<const std::uint8_t> raw = pending_;
  if (chunk_.method == 1) {
    raw_.resize(chunk_.raw_length);
    uLongf length = chunk_.raw_length;
    if (::uncompress(raw_.data(), &length, pending_.data(), pending_.size()) != Z_OK || length != chunk_.raw_length) {
      return fail("a compressed chunk is damaged");
    }
    raw = raw_;
  }
  if (::crc32(0, raw.data(), static_cast<uInt>(raw.size())) != chunk_.crc) return fail("a chunk fails its checksum");
  const image::ImagePartition& part = header_.partitions[chunk_.partition];
  if (!zero_up_to(chunk_.partition, chunk_.offset)) return false;
  if (!disk_->write_at(part.start_lba * kSectorSize + chunk_.offset, raw)) {
    return fail("writing partition " + std::to_string(part.number) + " of " + disk_->path() +
                " failed: " + std::strerror(errno));
  }
  written_[chunk_.partition] = chunk_.offset + chunk_.raw_length;
  pending_.clear();
  stage_ = Stage::chunk_head;
  wanted_ = image::kChunkHeadSize;
  return true;
}

bool ImageRestorer::finish() {
  if (stage_ == Stage::failed) return false;
  if (stage_ != Stage::ended) return fail("the image ended before its end chunk");
  for (std::size_t p = 0; p < header_.partitions.size(); ++p) {
    if (!zero_up_to(p, std::uint64_t{header_.partitions[p].sectors} * kSectorSize)) return false;
  }
  // The tables last: a disk whose restore broke off keeps its old table.
  for (const image::TableSector& t : header_.table_sectors) {
    if (!disk_->write_at(t.lba * kSectorSize, t.bytes)) {
      return fail("writing the partition table of " + disk_->path() + " failed: " + std::strerror(errno));
    }
  }
  if (!disk_->sync()) return fail("flushing " + disk_->path() + " failed: " + std::strerror(errno));
  if (!disk_->reread_partitions()) {
    // The data is written; only the kernel's view of the partitions is old.
    error_ = "the kernel did not take the new partition table of " + disk_->path() + ": " + std::strerror(errno);
  }
  return true;
}

}  // namespace kestrelon::client
