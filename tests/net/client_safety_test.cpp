// The reference Client's care with what it writes: a copy kept with --store
// never writes through a symbolic link, and a restore claims a block device for
// itself, refusing one that is mounted or held by another program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "copy_sink.h"
#include "disk_device.h"
#include "support/image_files.h"

namespace kestrelon::client {
namespace {

namespace fs = std::filesystem;

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(StoreSink, RefusesASymbolicLinkAtThePartPath) {
  test::TempDir dir;
  const std::string victim = dir.file("victim");
  std::ofstream(victim) << "keep me";
  fs::create_symlink(victim, dir.file("lab.krn.part"));
  fs::create_symlink(dir.file("would-be-created"), dir.file("other.krn.part"));

  std::string error;
  EXPECT_FALSE(StoreSink::open(dir.path(), "lab.krn", &error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_EQ(file_text(victim), "keep me");
  EXPECT_FALSE(StoreSink::open(dir.path(), "other.krn", &error));
  EXPECT_FALSE(fs::exists(dir.file("would-be-created"))) << "a dangling link is not followed either";

  auto sink = StoreSink::open(dir.path(), "plain.krn", &error);
  ASSERT_TRUE(sink) << error;
  const std::uint8_t bytes[] = {1, 2, 3};
  EXPECT_TRUE(sink->consume(bytes));
  EXPECT_TRUE(sink->finish());
  EXPECT_EQ(fs::file_size(dir.file("plain.krn")), 3u);
}

// A loop device over a file of the test's own, detached again at the end.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& backing) {
    FILE* p = ::popen(("losetup -f --show '" + backing + "' 2>/dev/null").c_str(), "r");
    if (!p) return;
    char line[256] = {};
    if (std::fgets(line, sizeof line, p)) path_ = line;
    ::pclose(p);
    while (!path_.empty() && (path_.back() == '\n' || path_.back() == ' ')) path_.pop_back();
  }
  ~LoopDevice() {
    if (path_.empty()) return;
    [[maybe_unused]] const int rc = std::system(("losetup -d '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(DiskDevice, ARestoreClaimsABlockDeviceAndRefusesOneInUse) {
  if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: loop devices need root";
  test::TempDir dir;
  const std::string backing = dir.file("disk.img");
  test::write_file(backing, std::vector<std::uint8_t>(1 << 20, 0));
  LoopDevice loop(backing);
  if (loop.path().empty()) GTEST_SKIP() << "SKIPPED: no loop device could be attached here";

  // Another program holds the disk, as a mounted file system does.
  const int holder = ::open(loop.path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  std::string error;
  EXPECT_FALSE(DiskDevice::open(loop.path(), true, &error));
  EXPECT_NE(error.find("in use"), std::string::npos) << error;
  EXPECT_TRUE(DiskDevice::open(loop.path(), false, &error)) << "reading it (for a Create) is still allowed";
  ::close(holder);

  auto disk = DiskDevice::open(loop.path(), true, &error);
  ASSERT_TRUE(disk) << error;
  EXPECT_TRUE(disk->is_block_device());
  const int other = ::open(loop.path().c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
  const int why = errno;
  EXPECT_EQ(other, -1) << "while the Client restores, nobody else can claim the disk";
  EXPECT_EQ(why, EBUSY);
  if (other >= 0) ::close(other);
}

}  // namespace
}  // namespace kestrelon::client
