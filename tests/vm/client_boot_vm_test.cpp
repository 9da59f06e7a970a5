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

// The boot files every test of this suite serves, built once: the netboot
// folder and the USB image, both powering the PC off after a copy.
struct BootFiles {
  fs::path folder;
  std::string error;
};

class ClientBootTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!vm_bench_unavailable_reason().empty() || kernel_package().empty()) return;
    char dir[] = "/tmp/kestrelon-vm-boot-XXXXXX";
    if (!::mkdtemp(dir)) return;
    ::chmod(dir, 0755);  // the TFTP server reads the boot files as its own user
    boot_files_.folder = dir;
    const auto start = Clock::now();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"netboot", "--out", (boot_files_.folder / "boot").string()},
          std::vector<std::string>{"usb", "--out", (boot_files_.folder / "usb.img").string()}}) {
      std::vector<std::string> argv = {KESTRELON_BUILDER_PATH};
      argv.insert(argv.end(), args.begin(), args.end());
      // A loaded machine slows the emulated PC's timer past the kernel's check.
      argv.insert(argv.end(), {"--after-copy", "poweroff", "--kernel-args", "no_timer_check", "--kernel", kernel_package(), "--client",
                               KESTRELON_CLIENT_PATH, "--cache",
                               (fs::temp_directory_path() / "kestrelon-builder-test-cache").string()});
      std::string command;
      for (const auto& a : argv) command += "'" + a + "' ";
      const std::string log = (boot_files_.folder / "builder.log").string();
      if (std::system((command + ">>" + log + " 2>&1").c_str()) != 0) boot_files_.error += read_all(log);
    }
    std::printf("[vm] %s[vm] boot files built in %.0f s\n", read_all(boot_files_.folder / "builder.log").c_str(),
                seconds_since(start));
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (!boot_files_.folder.empty()) fs::remove_all(boot_files_.folder, ec);
  }

  void SetUp() override {
    KESTRELON_REQUIRE_VM_BENCH();
    if (kernel_package().empty()) {
      GTEST_SKIP() << "SKIPPED: no Debian kernel package in /var/cache/kestrelon-builder (scripts/deps.sh "
                      "downloads one) and KESTRELON_TEST_KERNEL is not set";
    }
    ASSERT_TRUE(boot_files_.error.empty()) << boot_files_.error;
    bench_ = std::make_unique<VmBench>(6);
    // The bench's network has no default route and no multicast route, as
    // an isolated imaging network often has none.
    ASSERT_TRUE(bench_->ok()) << bench_->error();
  }

  fs::path boot_folder() const { return boot_files_.folder / "boot"; }
  fs::path usb_image(const std::string& name) {
    const fs::path copy = bench_->folder() / (name + ".img");
    fs::copy_file(boot_files_.folder / "usb.img", copy);
    return copy;
  }

  int run(const std::vector<std::string>& argv, const std::string& log, std::chrono::seconds limit,
          std::string* output = nullptr) {
    lab::LabProcess p = bench_->spawn(argv, log);
    const auto status = p.wait(limit);
    if (!status) p.kill(SIGKILL);
    if (output) *output = p.output();
    return status.value_or(-1);
  }

  // kestrelon-builder serve in isolated mode, ended by SIGTERM when it goes (as
  // a window ends it), so its dnsmasq ends too.
  struct Server {
    explicit Server(lab::LabProcess p) : process(std::move(p)) {}
    ~Server() { process.kill(SIGTERM); }
    lab::LabProcess process;
  };
  std::unique_ptr<Server> serve() {
    return std::make_unique<Server>(bench_->spawn({KESTRELON_BUILDER_PATH, "serve", "--dir", boot_folder().string(),
                                                   "--interface", "br0", "--dhcp-range", "10.48.0.100,10.48.0.199",
                                                   "--menu-default", "client", "--menu-timeout", "0"},
                                                  "serve"));
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

  static BootFiles boot_files_;
  std::unique_ptr<VmBench> bench_;
};

BootFiles ClientBootTest::boot_files_;

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
  const fs::path disk1 = make_marker_disk(boot_folder() / "vmlinuz");
  const fs::path disk2 = blank_disk("pc2", fs::file_size(disk1));
  const fs::path disk3 = blank_disk("pc3", fs::file_size(disk1));
  const auto server = serve();

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
                                            << server->process.output();
    EXPECT_EQ(listed.at(pc_name(n)), 1) << pc_name(n) << " should announce its one fixed disk";
  }
  std::printf("[vm] three PCs listed %.0f s after power-on\n", seconds_since(power_on));
  const std::string served = server->process.output();
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

  // serve ends on SIGTERM, and its dnsmasq with it: nothing answers DHCP any more.
  server->process.kill(SIGTERM);
  EXPECT_EQ(server->process.wait(0ms), 0) << server->process.output();
  EXPECT_NE(server->process.output().find(" stopped"), std::string::npos);
  EXPECT_EQ(bench_->exec("! ss -uanp | grep -q dnsmasq"), 0) << "dnsmasq outlived serve";
}

// The same Client reached over UEFI's network boot, and from the USB image on a
// BIOS PC and on a UEFI PC: each is listed with its one fixed disk (the stick,
// which says it is a fixed disk too, is recognised by its label and left out).
TEST_F(ClientBootTest, UefiPcsAndUsbSticksBootTheClient) {
  const auto server = serve();
  const auto power_on = Clock::now();
  std::vector<std::unique_ptr<VirtualPc>> pcs;
  pcs.push_back(bench_->start_pc({"uefi-net", 4, pc_mac(4), blank_disk("pc4", 64 << 20), {}, true, true}));
  pcs.push_back(bench_->start_pc({"bios-usb", 5, pc_mac(5), blank_disk("pc5", 64 << 20), usb_image("pc5"), false, false}));
  pcs.push_back(bench_->start_pc({"uefi-usb", 6, pc_mac(6), blank_disk("pc6", 64 << 20), usb_image("pc6"), true, false}));
  const std::vector<VirtualPc*> all = {pcs[0].get(), pcs[1].get(), pcs[2].get()};
  const auto listed = discover({pc_name(4), pc_name(5), pc_name(6)}, 360s);
  for (int n = 4; n <= 6; ++n) {
    ASSERT_EQ(listed.count(pc_name(n)), 1u) << pc_name(n) << " not listed" << tails(all) << "\n--- serve ---\n"
                                            << server->process.output();
    EXPECT_EQ(listed.at(pc_name(n)), 1) << pc_name(n) << " should announce its fixed disk alone" << tails(all);
  }
  std::printf("[vm] UEFI network, BIOS USB and UEFI USB PCs listed %.0f s after power-on\n",
              seconds_since(power_on));
  EXPECT_NE(server->process.output().find("PC " + pc_mac(4) + " (10.48.0."), std::string::npos);
  EXPECT_NE(pcs[0]->serial().find("EFI stub"), std::string::npos) << "pc4 did not boot by UEFI";
  EXPECT_NE(pcs[2]->serial().find("BdsDxe: starting Boot"), std::string::npos) << "pc6 did not boot by UEFI";
}

}  // namespace
}  // namespace kestrelon::vm
