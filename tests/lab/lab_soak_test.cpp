// A long run in one Controller: 20 Copies and 10 Creates in a row through the
// command flows, on the lab. The descriptors the process holds and its resident
// memory after the first and after the last of each must stay flat.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "lab_controller.h"
#include "lab_network.h"
#include "support/image_files.h"
#include "support/virtual_disk.h"

namespace kestrelon {
namespace {

using lab::LabNetwork;

constexpr int kClients = 3;
constexpr int kCopies = 20;
constexpr int kCreates = 10;

int open_descriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
  }
  return n - 1;  // the directory's own
}

long resident_kib() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

struct Usage {
  int descriptors;
  long resident;
};
Usage usage() { return {open_descriptors(), resident_kib()}; }

class LabSoak : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
  test::TempDir dir;
};

TEST_F(LabSoak, TwentyCopiesAndTenCreatesLeaveDescriptorsAndMemoryFlat) {
  LabNetwork net(kClients);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(test::make_virtual_disk(disk, 16, "start=2048, size=20480, type=83\n"));
  ASSERT_TRUE(test::fill_region(disk, 2048 * 512, 2 << 20, 11, true));
  std::vector<lab::LabProcess> clients;
  std::vector<std::string> names;
  for (int h = 1; h <= kClients; ++h) {
    names.push_back("soak-" + std::to_string(h));
    clients.push_back(net.spawn(h, {KESTRELON_CLIENT_PATH, "--disk", disk, "--address",
                                    LabNetwork::address(h).text(), "--name", names.back(), "--store",
                                    dir.file("store" + std::to_string(h))}));
  }
  lab::LabController controller(net);
  ASSERT_TRUE(controller.start());

  const std::string image = dir.file("soak.krn");
  Usage after_first_create{}, after_last_create{};
  for (int i = 1; i <= kCreates; ++i) {
    const CreateFlowResult r = controller.create(names[0], image, "soak " + std::to_string(i), i % 2 ? 0 : 9);
    ASSERT_TRUE(r.completed()) << "create " << i << "\n" << clients[0].output();
    if (i == 1) after_first_create = usage();
  }
  after_last_create = usage();

  Usage after_first_copy{}, after_last_copy{};
  for (int i = 1; i <= kCopies; ++i) {
    const CopyFlowResult r = controller.copy(image, names);
    ASSERT_TRUE(r.succeeded()) << "copy " << i << ": " << r.not_done << " of " << r.targets << " did not finish";
    if (i == 1) after_first_copy = usage();
  }
  after_last_copy = usage();
  const auto original = test::read_file(image);
  for (int h = 1; h <= kClients; ++h) {
    EXPECT_TRUE(test::read_file(dir.file("store" + std::to_string(h) + "/soak.krn")) == original) << "host " << h;
  }

  std::printf("[ measure  ] creates: %d descriptors and %ld KiB resident after the 1st, %d and %ld KiB after the "
              "%dth\n",
              after_first_create.descriptors, after_first_create.resident, after_last_create.descriptors,
              after_last_create.resident, kCreates);
  std::printf("[ measure  ] copies:  %d descriptors and %ld KiB resident after the 1st, %d and %ld KiB after the "
              "%dth\n",
              after_first_copy.descriptors, after_first_copy.resident, after_last_copy.descriptors,
              after_last_copy.resident, kCopies);
  EXPECT_EQ(after_last_create.descriptors, after_first_create.descriptors);
  EXPECT_EQ(after_last_copy.descriptors, after_first_copy.descriptors);
  // Allocator caches may move a little; a leak per transfer would add up.
  EXPECT_LT(after_last_create.resident - after_first_create.resident, 4096);
  EXPECT_LT(after_last_copy.resident - after_first_copy.resident, 4096);
}

}  // namespace
}  // namespace kestrelon
