// The buffered writer against a plain in-memory model of the file: any mix of
// writes and seeks must leave the same bytes, and failures must be reported with
// the right kind.
#include "transfer/buffered_file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace kestrelon {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "kestrelon_bfw_" + std::to_string(::getpid()) + "_" + name;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The file as plain writes at positions would leave it.
struct FileModel {
  Bytes bytes;
  std::int64_t position = 0;
  void write(const Bytes& b) {
    const auto end = static_cast<std::size_t>(position) + b.size();
    if (bytes.size() < end) bytes.resize(end, 0);
    std::copy(b.begin(), b.end(), bytes.begin() + position);
    position += static_cast<std::int64_t>(b.size());
  }
};

TEST(BufferedFileWriter, RandomWritesAndSeeksLeaveTheSameBytesAsPlainWrites) {
  for (const std::size_t capacity : {std::size_t{64}, std::size_t{1000}, BufferedFileWriter::kDefaultCapacity}) {
    const std::string path = temp_path("random_" + std::to_string(capacity));
    BufferedFileWriter w(capacity);
    ASSERT_EQ(w.open(path), 0);
    FileModel model;
    std::mt19937 rng(static_cast<unsigned>(capacity));
    for (int step = 0; step < 3000; ++step) {
      const int what = static_cast<int>(rng() % 10);
      if (what == 0) {  // jump back to patch, or forward past the end
        const auto end = static_cast<std::int64_t>(model.bytes.size());
        const std::int64_t to = static_cast<std::int64_t>(rng() % static_cast<unsigned>(end + 200));
        w.seek(to);
        model.position = to;
      } else {
        Bytes b(rng() % (what == 1 ? 3000 : 90));
        for (auto& x : b) x = static_cast<std::uint8_t>(rng());
        ASSERT_EQ(w.write(b), 0);
        model.write(b);
      }
      ASSERT_EQ(w.position(), model.position);
    }
    ASSERT_EQ(w.close(), 0);
    EXPECT_EQ(read_file(path), model.bytes) << "capacity " << capacity;
    ::unlink(path.c_str());
  }
}

TEST(BufferedFileWriter, OpenTruncatesAnExistingFile) {
  const std::string path = temp_path("truncate");
  { std::ofstream(path) << "old contents that must go"; }
  BufferedFileWriter w;
  ASSERT_EQ(w.open(path), 0);
  ASSERT_EQ(w.write(Bytes{1, 2, 3}), 0);
  ASSERT_EQ(w.close(), 0);
  EXPECT_EQ(read_file(path), (Bytes{1, 2, 3}));
  ::unlink(path.c_str());
}

TEST(BufferedFileWriter, OpenFailureReturnsTheErrorNumber) {
  BufferedFileWriter w;
  EXPECT_EQ(w.open("/nonexistent-dir/x.krn"), ENOENT);
  EXPECT_FALSE(w.is_open());
  EXPECT_EQ(w.write(Bytes{1}), EBADF);
}

// Every call into the file fails as a disk would that has an I/O fault.
ssize_t failing_write(int, const void*, std::size_t, off_t) {
  errno = EIO;
  return -1;
}

// Takes a few bytes per call, the way a nearly full disk does, then reports 0.
int dribble_calls = 0;
ssize_t dribbling_write(int fd, const void* b, std::size_t n, off_t off) {
  if (++dribble_calls > 3) return 0;
  return ::pwrite(fd, b, std::min<std::size_t>(n, 5), off);
}

TEST(BufferedFileWriter, OtherErrorIsReportedOnceThePendingBytesGoOutAndStaysSet) {
  const std::string path = temp_path("eio");
  BufferedFileWriter w(16, failing_write);
  ASSERT_EQ(w.open(path), 0);
  EXPECT_EQ(w.write(Bytes(10, 1)), 0);  // still pending
  EXPECT_EQ(w.write(Bytes(10, 2)), EIO);  // the pending run must go out first
  EXPECT_FALSE(BufferedFileWriter::is_disk_full(w.error()));
  EXPECT_EQ(w.write(Bytes(1, 3)), EIO);
  EXPECT_EQ(w.close(), EIO);
  ::unlink(path.c_str());
}

TEST(BufferedFileWriter, ShortWritesAreContinuedAndAWriteThatTakesNothingMeansNoRoom) {
  const std::string path = temp_path("dribble");
  dribble_calls = 0;
  BufferedFileWriter w(4, dribbling_write);
  ASSERT_EQ(w.open(path), 0);
  const int e = w.write(Bytes(40, 7));  // larger than the buffer: goes straight out
  EXPECT_TRUE(BufferedFileWriter::is_disk_full(e)) << e;
  EXPECT_EQ(read_file(path), Bytes(15, 7));  // three calls of five bytes each
  w.close();
  ::unlink(path.c_str());
}

TEST(BufferedFileWriter, FullDeviceIsReportedAsDiskFullAtTheLatestOnClose) {
  BufferedFileWriter w;
  if (w.open("/dev/full") != 0) GTEST_SKIP() << "/dev/full cannot be opened for writing here";
  EXPECT_EQ(w.write(Bytes(100, 1)), 0);  // pending only
  const int e = w.close();
  EXPECT_EQ(e, ENOSPC);
  EXPECT_TRUE(BufferedFileWriter::is_disk_full(e));
}

}  // namespace
}  // namespace kestrelon
