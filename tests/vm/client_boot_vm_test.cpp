// PCs that boot into the Kestrelon Client, end to end on emulated PCs: boot
// files from kestrelon-builder, served by `kestrelon-builder serve` on an
// isolated network; the Controller (kestrelon-cli) lists the PCs, images one
// and copies the image onto the others, which then boot the copied system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <glob.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cpio_archive.h"
#include "vm_bench.h"

namespace kestrelon::vm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kMarker = "KESTRELON-MARKER: the copied system booted";

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The Debian kernel package the boot files are made from: KESTRELON_TEST_KERNEL,
// else the one scripts/deps.sh downloads.
std::string kernel_package() {
  if (const char* given = std::getenv("KESTRELON_TEST_KERNEL")) return given;
  glob_t g{};
  std::string found;
  if (::glob("/var/cache/kestrelon-builder/linux-image-*.deb", 0, nullptr, &g) == 0 && g.gl_pathc > 0) {
    found = g.gl_pathv[g.gl_pathc - 1];
  }
  ::globfree(&g);
  return found;
}

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The name init gives a PC without a DHCP host name: PC- and the MAC's last three bytes.
std::string pc_name(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "PC-4B00%02X", n);
  return name;
}
std::string pc_mac(int n) {
  char mac[24];
  std::snprintf(mac, sizeof mac, "52:54:00:4b:00:%02x", n);
  return mac;
}

class ClientBootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_VM_BENCH();
    kernel_ = kernel_package();
    if (kernel_.empty()) {
      GTEST_SKIP() << "SKIPPED: no Debian kernel package in /var/cache/kestrelon-builder (scripts/deps.sh "
                      "downloads one) and KESTRELON_TEST_KERNEL is not set";
    }
    bench_ = std::make_unique<VmBench>(6);
    // The bench's network has no default route and no multicast route, as
    // an isolated imaging network often has none.
    ASSERT_TRUE(bench_->ok()) << bench_->error();
  }

  int run(const std::vector<std::string>& argv, const std::string& log, std::chrono::seconds limit,
          std::string* output = nullptr) {
    lab::LabProcess p = bench_->spawn(argv, log);
    const auto status = p.wait(limit);
    if (!status) p.kill(SIGKILL);
    if (output) *output = p.output();
    return status.value_or(-1);
  }

  std::string builder(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {KESTRELON_BUILDER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--kernel", kernel_, "--client", KESTRELON_CLIENT_PATH, "--cache",
                             (fs::temp_directory_path() / "kestrelon-builder-test-cache").string()});
    std::string out;
    const int rc = run(argv, "builder-" + args[0], 300s, &out);
    EXPECT_EQ(rc, 0) << out;
    return out;
  }

  lab::LabProcess serve(const fs::path& dir) {
    return bench_->spawn({KESTRELON_BUILDER_PATH, "serve", "--dir", dir.string(), "--interface", "br0",
                          "--dhcp-range", "10.48.0.100,10.48.0.199", "--menu-timeout", "0"},
                         "serve");
  }

  // Clients that kestrelon-cli discover lists, by name, with their disk counts;
  // asks again until every name in `wanted` is there or the limit passes.
  std::map<std::string, int> discover(const std::set<std::string>& wanted, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    std::map<std::string, int> listed;
    for (;;) {
      std::string out;
      run({KESTRELON_CLI_PATH, "discover", "--seconds", "3", "--json"}, "discover", 30s, &out);
      listed.clear();
      const auto json = nlohmann::json::parse(out.substr(std::min(out.find('{'), out.size())), nullptr, false);
      if (json.is_object() && json.contains("clients")) {
        for (const auto& c : json["clients"]) listed[c["name"].get<std::string>()] = c["disks"].get<int>();
      }
      bool all = true;
      for (const auto& w : wanted) all = all && listed.count(w);
      if (all || Clock::now() >= end) return listed;
    }
  }

  // A disk with a small system that prints kMarker and powers off.
  fs::path make_marker_disk(const fs::path& kernel) {
    kestrelon::builder::CpioArchive initramfs;
    initramfs.add_char_device("/dev/console", 5, 1);
    initramfs.add_file_from("/bin/busybox", "/bin/busybox");
    initramfs.add_file("/init", std::string("#!/bin/busybox sh\n/bin/busybox echo '") + kMarker +
                                    "'\n/bin/busybox poweroff -f\n", 0755);
    const fs::path initrd = bench_->folder() / "marker-initrd.img";
    initramfs.write_gzip(initrd);
    const fs::path disk = bench_->folder() / "pc1.disk";
    const std::string command = std::string(KESTRELON_VM_DIR) + "/make_marker_disk.sh " + disk.string() + " 40 " +
                                kernel.string() + " " + initrd.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return disk;
  }

  fs::path blank_disk(const std::string& name, std::uintmax_t bytes) {
    const fs::path disk = bench_->folder() / (name + ".disk");
    std::ofstream(disk).close();
    fs::resize_file(disk, bytes);
    return disk;
  }

  static std::string tails(const std::vector<VirtualPc*>& pcs) {
    std::string text;
    for (auto* pc : pcs) text += "\n--- serial console ---" + pc->serial_tail();
    return text;
  }

  std::string kernel_;
  std::unique_ptr<VmBench> bench_;
};

// Every partition of `copy`, and its partition table, equals `source`'s.
void expect_same_partitions(const fs::path& source, const fs::path& copy) {
  const std::string a = read_all(source), b = read_all(copy);
  ASSERT_GE(a.size(), 512u);
  ASSERT_GE(b.size(), 512u);
  EXPECT_EQ(a.substr(446, 66), b.substr(446, 66)) << copy << ": partition table differs";
  int partitions = 0;
  for (int i = 0; i < 4; ++i) {
    const auto* e = reinterpret_cast<const unsigned char*>(a.data() + 446 + 16 * i);
    const std::uint64_t start = (e[8] | e[9] << 8 | e[10] << 16 | std::uint64_t(e[11]) << 24) * 512;
    const std::uint64_t size = (e[12] | e[13] << 8 | e[14] << 16 | std::uint64_t(e[15]) << 24) * 512;
    if (e[4] == 0 || size == 0) continue;
    ++partitions;
    ASSERT_LE(start + size, b.size()) << copy << ": too small for partition " << i + 1;
    EXPECT_TRUE(a.compare(start, size, b, start, size) == 0) << copy << ": partition " << i + 1 << " differs";
  }
  EXPECT_EQ(partitions, 1);
}

TEST_F(ClientBootTest, PcsBootFromTheNetworkAreListedImagedAndBootTheCopiedSystem) {
  const auto stage_start = Clock::now();
  const fs::path boot = bench_->folder() / "boot";
  const std::string built = builder({"netboot", "--out", boot.string(), "--after-copy", "poweroff"});
  ASSERT_TRUE(fs::exists(boot / "initrd.img")) << built;
  std::printf("[vm] %s[vm] boot files built in %.0f s\n", built.c_str(), seconds_since(stage_start));

  const fs::path disk1 = make_marker_disk(boot / "vmlinuz");
  const fs::path disk2 = blank_disk("pc2", fs::file_size(disk1));
  const fs::path disk3 = blank_disk("pc3", fs::file_size(disk1));
  lab::LabProcess server = serve(boot);

  const auto power_on = Clock::now();
  std::vector<std::unique_ptr<VirtualPc>> pcs;
  const fs::path disks[] = {disk1, disk2, disk3};
  for (int n = 1; n <= 3; ++n) {
    pcs.push_back(bench_->start_pc({"pc" + std::to_string(n), n, pc_mac(n), disks[n - 1]}));
  }
  const std::vector<VirtualPc*> all = {pcs[0].get(), pcs[1].get(), pcs[2].get()};
  const auto listed = discover({pc_name(1), pc_name(2), pc_name(3)}, 360s);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(listed.count(pc_name(n)), 1u) << pc_name(n) << " not listed" << tails(all) << "\n--- serve ---\n"
                                            << server.output();
    EXPECT_EQ(listed.at(pc_name(n)), 1) << pc_name(n) << " should announce its one fixed disk";
  }
  std::printf("[vm] three PCs listed %.0f s after power-on\n", seconds_since(power_on));
  const std::string served = server.output();
  for (int n = 1; n <= 3; ++n) {
    EXPECT_NE(served.find("PC " + pc_mac(n) + " ("), std::string::npos) << served;
  }
  EXPECT_NE(served.find("loaded initrd.img"), std::string::npos) << served;

  const fs::path image = bench_->folder() / "pc1.krn";
  std::string out;
  const auto create_start = Clock::now();
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", pc_name(1), "--disk", "1", "--out", image.string(),
                 "--description", "marker system"},
                "create", 300s, &out),
            0)
      << out << tails(all);
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "copy", image.string(), "--client", pc_name(2), "--client", pc_name(3)}, "copy",
                300s, &out),
            0)
      << out << tails(all);
  std::printf("[vm] create and copy took %.0f s\n", seconds_since(create_start));
  // After a copy the Clients switch themselves off (--after-copy poweroff).
  for (int n = 2; n <= 3; ++n) {
    EXPECT_TRUE(pcs[n - 1]->wait_exit(120s)) << pc_name(n) << " did not power off" << tails({pcs[n - 1].get()});
    EXPECT_NE(pcs[n - 1]->serial().find("copy done: switching off"), std::string::npos);
  }
  // The imaged PC stays a Client: a Create is no copy.
  EXPECT_TRUE(pcs[0]->wait_for_serial("create complete", 1s));
  pcs[0]->kill();
  pcs.clear();

  for (const fs::path& copy : {disk2, disk3}) expect_same_partitions(disk1, copy);
  const auto reboot_start = Clock::now();
  auto pc2 = bench_->start_pc({"pc2-disk", 0, "", disk2, {}, false, false});
  auto pc3 = bench_->start_pc({"pc3-disk", 0, "", disk3, {}, false, false});
  EXPECT_TRUE(pc2->wait_for_serial(kMarker, 240s)) << pc2->serial_tail();
  EXPECT_TRUE(pc3->wait_for_serial(kMarker, 240s)) << pc3->serial_tail();
  EXPECT_TRUE(pc2->wait_exit(60s));
  EXPECT_TRUE(pc3->wait_exit(60s));
  std::printf("[vm] copied systems booted in %.0f s; whole BIOS run %.0f s\n", seconds_since(reboot_start),
              seconds_since(stage_start));
}

}  // namespace
}  // namespace kestrelon::vm
