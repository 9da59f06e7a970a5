// PCs that boot into the Kestrelon Client, end to end on emulated PCs: boot
// files from kestrelon-builder, served by `kestrelon-builder serve` on an
// isolated network; the Controller (kestrelon-cli) lists the PCs, images one
// and copies the image onto the others (a BIOS PC and a UEFI PC), each named
// after its group's name plan, which then boot the copied system under the
// name they were given.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cpio_archive.h"
#include "kernel_modules.h"
#include "kernel_source.h"
#include "support/system_disks.h"
#include "vm_bench.h"

namespace kestrelon::vm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRoom = 0;  // the third MAC byte of this suite's PCs

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
    bench_ = std::make_unique<VmBench>(8);
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

  // Clients that kestrelon-cli discover lists, by name, each as its JSON object
  // (disk count, drives and their partitions); asks again until every name in
  // `wanted` is there or the limit passes.
  std::map<std::string, nlohmann::json> discover(const std::set<std::string>& wanted, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    std::map<std::string, nlohmann::json> listed;
    for (;;) {
      std::string out;
      run({KESTRELON_CLI_PATH, "discover", "--seconds", "3", "--json"}, "discover", 30s, &out);
      listed.clear();
      const auto json = nlohmann::json::parse(out.substr(std::min(out.find('{'), out.size())), nullptr, false);
      if (json.is_object() && json.contains("clients")) {
        for (const auto& c : json["clients"]) listed[c["name"].get<std::string>()] = c;
      }
      bool all = true;
      for (const auto& w : wanted) all = all && listed.count(w);
      if (all || Clock::now() >= end) return listed;
    }
  }

  // A disk with a small system: a FAT partition it boots from (BIOS or UEFI)
  // and an ext4 root whose /etc/hostname names it. At its start it loads the
  // drivers of that root, takes its name from it as a Linux system does,
  // prints the name and kMarker, and powers off.
  fs::path make_marker_disk(const fs::path& kernel) {
    kestrelon::builder::CpioArchive initramfs;
    initramfs.add_char_device("/dev/console", 5, 1);
    initramfs.add_file_from("/bin/busybox", "/bin/busybox");
    const auto found = kestrelon::builder::find_kernel(
        kernel_package(), fs::temp_directory_path() / "kestrelon-builder-test-cache");
    std::string order;
    // ext4 checks its metadata with crc32c, which it asks for by name only.
    const std::vector<std::string> drivers = {"virtio_pci", "virtio_blk", "crc32c_generic", "ext4"};
    for (const std::string& m : kestrelon::builder::plan_modules(found.modules, drivers).load_order) {
      const std::string name = fs::path(m).filename().string();
      initramfs.add_file_from("/modules/" + name, found.modules / m);
      order += name + "\n";
    }
    initramfs.add_file("/modules/order", order);
    initramfs.add_file("/init", std::string("#!/bin/busybox sh\nb=/bin/busybox\n$b mkdir -p /proc /dev /root\n"
                                            "$b mount -t proc proc /proc\n$b mount -t devtmpfs devtmpfs /dev\n"
                                            "while read m; do $b insmod /modules/$m; done </modules/order\n"
                                            "i=0; while [ ! -b /dev/vda2 ] && [ $i -lt 30 ]; do $b sleep 1; "
                                            "i=$((i + 1)); done\n"
                                            "$b mount -t ext4 -o ro /dev/vda2 /root && $b hostname -F /root/etc/hostname\n"
                                            "$b echo \"") + kNamePrefix + "$($b hostname)\"\n$b echo '" + kMarker +
                                    "'\n$b poweroff -f\n",
                        0755);
    const fs::path initrd = bench_->folder() / "marker-initrd.img";
    initramfs.write_gzip(initrd);
    const fs::path disk = bench_->folder() / "pc1.disk";
    const std::string command = std::string(KESTRELON_VM_DIR) + "/make_marker_disk.sh " + disk.string() + " 40 " +
                                kernel.string() + " " + initrd.string() + " 12";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return disk;
  }
  static constexpr const char* kNamePrefix = "KESTRELON-NAME: booted as ";

  // The Controller's programs with their settings, groups, name plans, journal
  // and inventory in the bench's folder.
  std::vector<std::string> controller(std::vector<std::string> argv) const {
    const fs::path home = bench_->folder() / "controller";
    argv.insert(argv.begin(), {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + (home / "settings").string(),
                               "KESTRELON_PROFILE=" + (home / "kestreln.ini").string(),
                               "XDG_STATE_HOME=" + (home / "state").string()});
    return argv;
  }

  fs::path blank_disk(const std::string& name, std::uintmax_t bytes) {
    const fs::path disk = bench_->folder() / (name + ".disk");
    std::ofstream(disk).close();
    fs::resize_file(disk, bytes);
    return disk;
  }

  // A disk laid out as a PC's by make_pc_disk.sh (LAYOUT: gpt, mbr-ext4, ...).
  fs::path pc_disk(const std::string& layout, const std::string& name, int mib) {
    const fs::path disk = bench_->folder() / (name + ".disk");
    const std::string command =
        std::string(KESTRELON_LAB_DIR) + "/make_pc_disk.sh " + layout + " " + disk.string() + " " + std::to_string(mib);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
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

// The partition table of `copy` equals `source`'s, and so does every partition
// but the system's root (partition 2), which the copy named.
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
    if (i == 1) continue;
    EXPECT_TRUE(a.compare(start, size, b, start, size) == 0) << copy << ": partition " << i + 1 << " differs";
  }
  EXPECT_EQ(partitions, 2);
}

TEST_F(ClientBootTest, PcsBootFromTheNetworkAreListedImagedAndBootTheCopiedSystemUnderTheirNames) {
  const auto stage_start = Clock::now();
  const fs::path disk1 = make_marker_disk(boot_folder() / "vmlinuz");
  const fs::path disk2 = blank_disk("pc2", fs::file_size(disk1));
  const fs::path disk3 = blank_disk("pc3", fs::file_size(disk1));
  const auto server = serve();

  // PCs 1 and 2 start by BIOS, PC 3 by UEFI.
  const auto power_on = Clock::now();
  std::vector<std::unique_ptr<VirtualPc>> pcs;
  const fs::path disks[] = {disk1, disk2, disk3};
  for (int n = 1; n <= 3; ++n) {
    pcs.push_back(bench_->start_pc({"pc" + std::to_string(n), n, pc_mac(kRoom, n), disks[n - 1], {}, n == 3, true}));
  }
  const std::vector<VirtualPc*> all = {pcs[0].get(), pcs[1].get(), pcs[2].get()};
  const auto listed = discover({pc_name(kRoom, 1), pc_name(kRoom, 2), pc_name(kRoom, 3)}, 360s);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(listed.count(pc_name(kRoom, n)), 1u) << pc_name(kRoom, n) << " not listed" << tails(all) << "\n--- serve ---\n"
                                            << server->process.output();
    EXPECT_EQ(listed.at(pc_name(kRoom, n))["disks"], 1) << pc_name(kRoom, n) << " should announce its one fixed disk";
  }
  std::printf("[vm] three PCs listed %.0f s after power-on\n", seconds_since(power_on));
  const std::string served = server->process.output();
  for (int n = 1; n <= 3; ++n) {
    EXPECT_NE(served.find("PC " + pc_mac(kRoom, n) + " ("), std::string::npos) << served;
  }
  EXPECT_NE(served.find("loaded initrd.img"), std::string::npos) << served;

  // The room: PCs 2 and 3 in a group (as a Save Group of an earlier day left
  // it, with their cards in the inventory), numbered by their cards.
  const fs::path home = bench_->folder() / "controller";
  fs::create_directories(home / "state" / "kestrelon");
  std::ofstream(home / "kestreln.ini") << "[VmRoom]\n0=" << pc_name(kRoom, 2) << ",010.048.000.002,1,0,40\n1="
                                       << pc_name(kRoom, 3) << ",010.048.000.003,1,0,40\n";
  std::ofstream(home / "state" / "kestrelon" / "clients.json")
      << R"({"clients":[{"name":")" << pc_name(kRoom, 2) << R"(","mac":")" << pc_mac(kRoom, 2) << R"("},{"name":")"
      << pc_name(kRoom, 3) << R"(","mac":")" << pc_mac(kRoom, 3) << R"("}]})" << "\n";
  std::string out;
  ASSERT_EQ(run(controller({KESTRELON_CLI_PATH, "group", "names", "VmRoom", "--pattern", "VMPC-{nn}"}), "group-names",
                30s, &out),
            0)
      << out;
  EXPECT_NE(out.find(pc_mac(kRoom, 2) + "  VMPC-01"), std::string::npos) << out;
  EXPECT_NE(out.find(pc_mac(kRoom, 3) + "  VMPC-02"), std::string::npos) << out;

  const fs::path image = bench_->folder() / "pc1.krn";
  const auto create_start = Clock::now();
  ASSERT_EQ(run(controller({KESTRELON_CLI_PATH, "create", "--client", pc_name(kRoom, 1), "--disk", "1", "--out",
                            image.string(), "--description", "marker system"}),
                "create", 300s, &out),
            0)
      << out << tails(all);
  ASSERT_EQ(run(controller({KESTRELON_CLI_PATH, "copy", image.string(), "--group", "VmRoom"}), "copy", 300s, &out), 0)
      << out << tails(all);
  std::printf("[vm] create and copy took %.0f s\n", seconds_since(create_start));
  EXPECT_NE(out.find("VMPC-01: named: computer name VMPC-01 written into Kestrelon test system on partition 2"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("VMPC-02: named"), std::string::npos) << out;
  // After a copy the Clients switch themselves off (--after-copy poweroff).
  for (int n = 2; n <= 3; ++n) {
    EXPECT_TRUE(pcs[n - 1]->wait_exit(120s)) << pc_name(kRoom, n) << " did not power off" << tails({pcs[n - 1].get()});
    EXPECT_NE(pcs[n - 1]->serial().find("copy done: switching off"), std::string::npos);
  }
  // The imaged PC stays a Client: a Create is no copy.
  EXPECT_TRUE(pcs[0]->wait_for_serial("create complete", 1s));
  pcs[0]->kill();
  pcs.clear();

  // Each name on the copied disk, as the system's own tools read it.
  int n = 1;
  for (const fs::path& copy : {disk2, disk3}) {
    const std::string name = "VMPC-0" + std::to_string(n++);
    expect_same_partitions(disk1, copy);
    const fs::path root = bench_->folder() / (name + ".root");
    ASSERT_TRUE(test::extract_partition(copy, 2, root));
    EXPECT_EQ(test::ext_file(root, "/etc/hostname"), name + "\n");
    EXPECT_EQ(test::ext_file(root, "/etc/hosts"), "127.0.0.1\tlocalhost\n127.0.1.1\t" + name + "\n");
    EXPECT_EQ(std::system(("e2fsck -fn '" + root.string() + "' >/dev/null 2>&1").c_str()), 0) << name;
  }
  const auto reboot_start = Clock::now();
  auto pc2 = bench_->start_pc({"pc2-disk", 0, "", disk2, {}, false, false});
  auto pc3 = bench_->start_pc({"pc3-disk", 0, "", disk3, {}, true, false});
  EXPECT_TRUE(pc2->wait_for_serial(kMarker, 240s)) << pc2->serial_tail();
  EXPECT_TRUE(pc3->wait_for_serial(kMarker, 300s)) << pc3->serial_tail();
  EXPECT_NE(pc2->serial().find(std::string(kNamePrefix) + "VMPC-01"), std::string::npos) << pc2->serial_tail();
  EXPECT_NE(pc3->serial().find(std::string(kNamePrefix) + "VMPC-02"), std::string::npos) << pc3->serial_tail();
  EXPECT_NE(pc3->serial().find("BdsDxe: starting Boot"), std::string::npos) << "pc3 did not boot by UEFI";
  EXPECT_TRUE(pc2->wait_exit(60s));
  EXPECT_TRUE(pc3->wait_exit(60s));
  std::printf("[vm] copied systems booted under their names in %.0f s; whole run %.0f s\n",
              seconds_since(reboot_start), seconds_since(stage_start));

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
  pcs.push_back(bench_->start_pc({"uefi-net", 4, pc_mac(kRoom, 4), blank_disk("pc4", 64 << 20), {}, true, true}));
  pcs.push_back(bench_->start_pc({"bios-usb", 5, pc_mac(kRoom, 5), blank_disk("pc5", 64 << 20), usb_image("pc5"), false, false}));
  pcs.push_back(bench_->start_pc({"uefi-usb", 6, pc_mac(kRoom, 6), blank_disk("pc6", 64 << 20), usb_image("pc6"), true, false}));
  const std::vector<VirtualPc*> all = {pcs[0].get(), pcs[1].get(), pcs[2].get()};
  const auto listed = discover({pc_name(kRoom, 4), pc_name(kRoom, 5), pc_name(kRoom, 6)}, 360s);
  for (int n = 4; n <= 6; ++n) {
    ASSERT_EQ(listed.count(pc_name(kRoom, n)), 1u) << pc_name(kRoom, n) << " not listed" << tails(all) << "\n--- serve ---\n"
                                            << server->process.output();
    EXPECT_EQ(listed.at(pc_name(kRoom, n))["disks"], 1) << pc_name(kRoom, n) << " should announce its fixed disk alone" << tails(all);
  }
  std::printf("[vm] UEFI network, BIOS USB and UEFI USB PCs listed %.0f s after power-on\n",
              seconds_since(power_on));
  EXPECT_NE(server->process.output().find("PC " + pc_mac(kRoom, 4) + " (10.48.0."), std::string::npos);
  EXPECT_NE(pcs[0]->serial().find("EFI stub"), std::string::npos) << "pc4 did not boot by UEFI";
  EXPECT_NE(pcs[2]->serial().find("BdsDxe: starting Boot"), std::string::npos) << "pc6 did not boot by UEFI";
}

// The network's own DHCP server on another host of the same switch: a namespace
// of its own joined to the bench's bridge, running a dnsmasq that hands out
// addresses and knows nothing of network boot. Gone with the object.
struct OtherDhcpServer {
  explicit OtherDhcpServer(VmBench& bench) : name(bench.netns() + "d") {
    const std::string n = lab::shell_quote(name), b = lab::shell_quote(bench.netns());
    ok = lab::run_shell("ip netns add " + n + " && ip -n " + b + " link add vd0 type veth peer name vd1 netns " + n +
                        " && ip -n " + b + " link set vd0 master br0 up && ip -n " + n + " link set lo up && ip -n " +
                        n + " addr add 10.48.0.2/24 dev vd1 && ip -n " + n + " link set vd1 up") == 0;
    if (!ok) return;
    const fs::path folder = bench.folder();
    process = bench.spawn({"/usr/bin/env", "ip", "netns", "exec", name, "dnsmasq", "--no-daemon", "--port=0",
                           "--interface=vd1", "--bind-interfaces", "--dhcp-range=10.48.0.100,10.48.0.199,10m",
                           "--dhcp-leasefile=" + (folder / "other.leases").string(),
                           "--pid-file=" + (folder / "other.pid").string(), "--log-dhcp"},
                          "other-dhcp");
  }
  ~OtherDhcpServer() {
    process.kill(SIGTERM);
    lab::run_shell("ip netns del " + lab::shell_quote(name) + " 2>/dev/null");
  }
  std::string name;
  bool ok = false;
  lab::LabProcess process;
};

// serve's default, proxy DHCP: the network's own server gives the PC its
// address, serve adds only the boot information, and the PC boots the Client.
TEST_F(ClientBootTest, ProxyDhcpBootsAPcBesideTheNetworksOwnDhcpServer) {
  OtherDhcpServer other(*bench_);
  ASSERT_TRUE(other.ok) << "could not make the other DHCP server's host";
  const Server server(bench_->spawn({KESTRELON_BUILDER_PATH, "serve", "--dir", boot_folder().string(), "--interface",
                                     "br0", "--menu-default", "client", "--menu-timeout", "0"},
                                    "serve-proxy"));
  const auto power_on = Clock::now();
  auto pc = bench_->start_pc({"proxy", 1, pc_mac(kRoom, 9), blank_disk("pc9", 64 << 20)});
  const auto listed = discover({pc_name(kRoom, 9)}, 360s);
  ASSERT_EQ(listed.count(pc_name(kRoom, 9)), 1u) << tails({pc.get()}) << "\n--- serve ---\n"
                                                 << server.process.output() << "\n--- other DHCP server ---\n"
                                                 << other.process.output();
  std::printf("[vm] PC booted by proxy DHCP beside another DHCP server, listed %.0f s after power-on\n",
              seconds_since(power_on));
  EXPECT_NE(server.process.output().find("PC " + pc_mac(kRoom, 9) + " asked for network boot (proxy DHCP)"),
            std::string::npos)
      << server.process.output();
  EXPECT_NE(other.process.output().find("DHCPACK(vd1) 10.48.0.1"), std::string::npos)
      << "the address comes from the network's own server\n" << other.process.output();
}

// The drive of a listed Client whose partition count is `partitions`, or null.
const nlohmann::json* drive_with(const nlohmann::json& client, std::size_t partitions) {
  for (const auto& d : client["drives"]) {
    if (d["partitions"].size() == partitions) return &d;
  }
  return nullptr;
}

// Each partition's type byte and the Controller's name for it, in order.
std::vector<std::pair<int, std::string>> types_of(const nlohmann::json& drive) {
  std::vector<std::pair<int, std::string>> types;
  for (const auto& p : drive["partitions"]) types.emplace_back(p["type"].get<int>(), p["type_name"].get<std::string>());
  return types;
}

int shell(const std::string& command) {
  const int rc = std::system(("bash -c '" + command + "'").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A PC whose disk is several GiB and almost never written: its Client reads a
// partition without a file system it knows for far longer than the
// Controller's inactivity time (7 s) while nothing comes of it for the image,
// and keeps the Create alive meanwhile, at level 1 and at level 9.
TEST_F(ClientBootTest, ALongMostlyEmptyDiskIsImagedWithoutTheCreateFallingSilent) {
  const fs::path disk = blank_disk("pc10", std::uintmax_t{4} << 30);
  ASSERT_EQ(shell("printf \"label: dos\\nstart=2048, type=da\\n\" | sfdisk -q " + disk.string() +
                  " && printf \"a few bytes at the start\" | dd of=" + disk.string() +
                  " bs=512 seek=2048 conv=notrunc status=none && printf \"and at the end\" | dd of=" + disk.string() +
                  " bs=1M seek=4000 conv=notrunc status=none"),
            0);
  const auto server = serve();
  auto pc = bench_->start_pc({"empty-disk", 1, pc_mac(kRoom, 10), disk});
  const auto listed = discover({pc_name(kRoom, 10)}, 360s);
  ASSERT_EQ(listed.count(pc_name(kRoom, 10)), 1u) << tails({pc.get()});
  for (const char* level : {"1", "9"}) {
    const fs::path image = bench_->folder() / (std::string("empty-") + level + ".krn");
    std::string out;
    const auto start = Clock::now();
    ASSERT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", pc_name(kRoom, 10), "--disk", "1", "--out",
                   image.string(), "--compression", level},
                  std::string("create-empty-") + level, 900s, &out),
              0)
        << "level " << level << "\n" << out << tails({pc.get()});
    const double seconds = seconds_since(start);
    std::printf("[vm] 4 GiB, almost all of it never written, imaged at level %s in %.0f s\n", level, seconds);
    EXPECT_GT(seconds, 7.0) << "the disk was read for longer than the Controller's inactivity time";
    ASSERT_EQ(run({KESTRELON_CLI_PATH, "info", "--verify", image.string()}, "verify", 60s, &out), 0) << out;
    EXPECT_NE(out.find("Sound:        yes, every chunk (2 chunks"), std::string::npos) << out;
  }
}

// A PC with a GPT disk on a SATA controller and a larger blank disk, and a PC
// with an NVMe disk holding an MBR system: both boot from the network, their
// Clients find the disks themselves and announce every partition with its type;
// both are imaged; the GPT image goes onto the NVMe disk byte for byte, and the
// NVMe image onto the larger disk, where the initramfs's e2fsck and resize2fs
// grow its ext4 file system to fill it.
TEST_F(ClientBootTest, NvmeAndGptDisksAreFoundImagedAndCopied) {
  const auto stage_start = Clock::now();
  const fs::path gpt = pc_disk("gpt", "pc7-gpt", 64);
  const fs::path larger = blank_disk("pc7-larger", 96 << 20);
  const fs::path nvme = pc_disk("mbr-ext4", "pc8-nvme", 64);
  const fs::path nvme_before = bench_->folder() / "pc8-nvme.before";
  fs::copy_file(nvme, nvme_before);
  const auto server = serve();

  const auto power_on = Clock::now();
  PcSpec sata_pc{"gpt-sata", 7, pc_mac(kRoom, 7), larger};
  sata_pc.sata_disk = gpt;
  PcSpec nvme_pc{"nvme", 8, pc_mac(kRoom, 8)};
  nvme_pc.nvme_disk = nvme;
  auto pc7 = bench_->start_pc(sata_pc);
  auto pc8 = bench_->start_pc(nvme_pc);
  const std::vector<VirtualPc*> all = {pc7.get(), pc8.get()};
  auto listed = discover({pc_name(kRoom, 7), pc_name(kRoom, 8)}, 360s);
  ASSERT_TRUE(listed.count(pc_name(kRoom, 7)) && listed.count(pc_name(kRoom, 8))) << "not listed" << tails(all);
  std::printf("[vm] SATA+virtio and NVMe PCs listed %.0f s after power-on\n", seconds_since(power_on));

  // PC 7: the GPT disk with its EFI system, basic data (FAT16) and Linux
  // partitions, and the blank virtio disk; PC 8: FAT16 (active) and Linux.
  const nlohmann::json& c7 = listed[pc_name(kRoom, 7)];
  ASSERT_EQ(c7["disks"], 2) << c7.dump() << tails(all);
  const nlohmann::json* gpt_drive = drive_with(c7, 3);
  const nlohmann::json* blank_drive = drive_with(c7, 0);
  ASSERT_TRUE(gpt_drive && blank_drive) << c7.dump();
  using Types = std::vector<std::pair<int, std::string>>;
  EXPECT_EQ(types_of(*gpt_drive), (Types{{0xEF, "Unknown"}, {0x0E, "Fat16/LBA"}, {0x83, "Linux"}})) << c7.dump();
  const nlohmann::json& c8 = listed[pc_name(kRoom, 8)];
  ASSERT_EQ(c8["disks"], 1) << c8.dump() << tails(all);
  EXPECT_EQ(types_of(c8["drives"][0]), (Types{{0x0E, "Fat16/LBA"}, {0x83, "Linux"}})) << c8.dump();
  EXPECT_EQ(c8["drives"][0]["partitions"][0]["boot"], true);
  // The Clients name the kind of each disk they found.
  EXPECT_NE(pc7->serial().find("(SATA/SCSI, 64 MiB)"), std::string::npos) << tails({pc7.get()});
  EXPECT_NE(pc7->serial().find("(virtio, 96 MiB)"), std::string::npos);
  EXPECT_NE(pc8->serial().find("disk 1: /dev/nvme0n1 (NVMe, 64 MiB)"), std::string::npos) << tails({pc8.get()});

  const fs::path gpt_image = bench_->folder() / "gpt.krn", nvme_image = bench_->folder() / "nvme.krn";
  const std::string gpt_disk = std::to_string((*gpt_drive)["drive"].get<int>());
  const std::string blank_disk_number = std::to_string((*blank_drive)["drive"].get<int>());
  std::string out;
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", pc_name(kRoom, 7), "--disk", gpt_disk, "--out", gpt_image.string()},
                "create-gpt", 300s, &out),
            0)
      << out << tails(all);
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", pc_name(kRoom, 8), "--disk", "1", "--out", nvme_image.string()},
                "create-nvme", 300s, &out),
            0)
      << out << tails(all);
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "copy", gpt_image.string(), "--client", pc_name(kRoom, 8)}, "copy-gpt", 300s, &out), 0)
      << out << tails(all);
  EXPECT_TRUE(pc8->wait_exit(120s)) << "the NVMe PC did not power off" << tails({pc8.get()});
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "copy", nvme_image.string(), "--client", pc_name(kRoom, 7), "--disk", blank_disk_number},
                "copy-nvme", 300s, &out),
            0)
      << out << tails(all);
  EXPECT_TRUE(pc7->wait_exit(120s)) << "the SATA PC did not power off" << tails({pc7.get()});

  // The NVMe disk now holds the GPT disk, both headers and every partition.
  EXPECT_EQ(shell("cmp -s " + gpt.string() + " " + nvme.string()), 0) << "the GPT copy differs";
  EXPECT_EQ(shell("sgdisk -v " + nvme.string() + " | grep -q \"No problems found\""), 0);
  // The larger disk: the FAT partition as it was, the ext4 one grown to the end
  // in the PC itself, whole and with its files.
  EXPECT_NE(pc7->serial().find("grown from 55 MiB to 87 MiB, its file system from 55 MiB to 87 MiB"),
            std::string::npos)
      << tails({pc7.get()});
  const std::string part2 = (bench_->folder() / "grown.ext4").string();
  EXPECT_EQ(shell("cmp -s -i $((2048 * 512)) -n $((16384 * 512)) " + nvme_before.string() + " " + larger.string()), 0)
      << "the FAT partition differs";
  EXPECT_EQ(shell("sfdisk -d " + larger.string() + " | grep -q \"start= *18432, size= *178176, type=83\""), 0)
      << "partition 2 does not reach the end of the disk";
  ASSERT_EQ(shell("dd if=" + larger.string() + " of=" + part2 + " bs=512 skip=18432 status=none"), 0);
  EXPECT_EQ(shell("e2fsck -fn " + part2 + " >/dev/null 2>&1"), 0) << "the grown file system is damaged";
  EXPECT_EQ(shell("debugfs -R \"cat /docs/numbers.txt\" " + part2 + " 2>/dev/null | cmp -s - <(seq 1 40000)"), 0)
      << "a file of the grown file system differs";
  std::printf("[vm] NVMe and GPT run %.0f s\n", seconds_since(stage_start));
}

// The system's own initramfs on a PC with Debian's layout: it finds swap by its
// UUID, as the system's fstab does, turns it on and says so, then prints the
// marker and powers off.
fs::path swap_checking_initrd(const fs::path& folder) {
  const auto kernel = builder::find_kernel(kernel_package(), fs::temp_directory_path() / "kestrelon-builder-test-cache");
  const builder::ModulePlan modules = builder::plan_modules(kernel.modules, {"virtio_pci", "virtio_blk"});
  builder::CpioArchive initramfs;
  initramfs.add_char_device("/dev/console", 5, 1);
  initramfs.add_file_from("/bin/busybox", "/bin/busybox");
  std::string list;
  for (const std::string& m : modules.load_order) {
    initramfs.add_file_from("/lib/modules/" + fs::path(m).filename().string(), kernel.modules / m);
    list += fs::path(m).filename().string() + "\n";
  }
  initramfs.add_file("/etc/modules", list);
  initramfs.add_file("/init",
                     std::string("#!/bin/busybox sh\n"
                                 "/bin/busybox mkdir -p /proc /sys /dev\n/bin/busybox --install -s /bin\n"
                                 "export PATH=/bin\nmount -t proc proc /proc\nmount -t sysfs sysfs /sys\n"
                                 "mount -t devtmpfs devtmpfs /dev\n"
                                 "while read -r m; do insmod /lib/modules/$m; done </etc/modules\n"
                                 "n=0; while [ ! -b /dev/vda5 ] && [ $n -lt 100 ]; do sleep 0.2; n=$((n + 1)); done\n"
                                 "dev=$(findfs UUID=0d1e2f30-4152-6374-8596-a7b8c9d0e1f2) && swapon \"$dev\" && "
                                 "echo \"KESTRELON-SWAP: $dev on\"\ncat /proc/swaps\necho '") +
                         kMarker + "'\npoweroff -f\n",
                     0755);
  const fs::path initrd = folder / "debian-initrd.img";
  initramfs.write_gzip(initrd);
  return initrd;
}

// Debian's default layout (ext4 root, then swap in an extended partition at the
// end) imaged and copied onto a disk twice the size with "Keep partition size"
// off: the Controller reports that root took the room and swap moved; the PC
// grows root's file system; the copied system boots and turns its swap on,
// found by its UUID at its new place.
TEST_F(ClientBootTest, DebianLayoutGrowsRootAndMovesSwapOnATwiceLargerDisk) {
  const auto stage_start = Clock::now();
  const fs::path source = bench_->folder() / "pc10.disk";
  const std::string make = std::string(KESTRELON_VM_DIR) + "/make_debian_disk.sh " + source.string() + " 160 " +
                           (boot_folder() / "vmlinuz").string() + " " +
                           swap_checking_initrd(bench_->folder()).string();
  ASSERT_EQ(std::system(make.c_str()), 0) << make;
  const fs::path target = blank_disk("pc11", 320 << 20);
  const auto server = serve();
  auto pc10 = bench_->start_pc({"debian", 1, pc_mac(kRoom, 10), source});
  auto pc11 = bench_->start_pc({"twice", 2, pc_mac(kRoom, 11), target});
  const std::vector<VirtualPc*> all = {pc10.get(), pc11.get()};
  const auto listed = discover({pc_name(kRoom, 10), pc_name(kRoom, 11)}, 360s);
  ASSERT_TRUE(listed.count(pc_name(kRoom, 10)) && listed.count(pc_name(kRoom, 11))) << "not listed" << tails(all);

  const fs::path image = bench_->folder() / "debian.krn";
  std::string out;
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", pc_name(kRoom, 10), "--disk", "1", "--out", image.string()},
                "create-debian", 300s, &out),
            0)
      << out << tails(all);
  ASSERT_EQ(run({KESTRELON_CLI_PATH, "copy", image.string(), "--client", pc_name(kRoom, 11), "--json"}, "copy-debian",
                300s, &out),
            0)
      << out << tails(all);
  std::vector<std::string> report;
  std::istringstream events(out);
  for (std::string line; std::getline(events, line);) {
    const auto e = nlohmann::json::parse(line, nullptr, false);
    if (e.is_object() && e.value("event", "") == "client" && e.value("outcome", "") == "done" && e.contains("report"))
      report = e["report"].get<std::vector<std::string>>();
  }
  ASSERT_EQ(report.size(), 2u) << out;
  EXPECT_EQ(report[0], "partition 1 (ext2/3/4) takes the larger disk's room: 142 MiB grown to 302 MiB; its file "
                       "system is grown after the copy");
  EXPECT_EQ(report[1], "partition 5 (swap) moved by 160 MiB, to sector 622592; swap made again there with its UUID "
                       "and label");
  EXPECT_TRUE(pc11->wait_exit(240s)) << "the PC did not power off" << tails({pc11.get()});
  EXPECT_NE(pc11->serial().find("partition 1 (ext2/3/4) grown from 142 MiB to 302 MiB, its file system from 142 MiB "
                                "to 302 MiB"),
            std::string::npos)
      << tails({pc11.get()});
  pc10->kill();

  // Root grown in place, whole; swap at the end with its UUID and label.
  EXPECT_EQ(shell("sfdisk -d " + target.string() + " | grep -q \"start= *2048, size= *618496, type=83, bootable\""), 0);
  EXPECT_EQ(shell("sfdisk -d " + target.string() + " | grep -q \"start= *622592, size= *32768, type=82\""), 0);
  EXPECT_EQ(shell("sfdisk -V " + target.string() + " >/dev/null"), 0);
  const std::string root = (bench_->folder() / "root.ext4").string();
  ASSERT_EQ(shell("dd if=" + target.string() + " of=" + root + " bs=512 skip=2048 count=618496 status=none"), 0);
  EXPECT_EQ(shell("e2fsck -fn " + root + " >/dev/null 2>&1"), 0) << "the grown root is damaged";
  EXPECT_EQ(shell("debugfs -R \"cat /docs/numbers.txt\" " + root + " 2>/dev/null | cmp -s - <(seq 1 40000)"), 0);
  EXPECT_EQ(shell("blkid -p -o export -O $((622592 * 512)) " + target.string() +
                  " | tr \"\\n\" \" \" | grep -q \"LABEL=DEBSWAP UUID=0d1e2f30-4152-6374-8596-a7b8c9d0e1f2\""),
            0);

  // The copied system boots and finds its swap by UUID.
  auto booted = bench_->start_pc({"twice-disk", 0, "", target, {}, false, false});
  EXPECT_TRUE(booted->wait_for_serial(kMarker, 240s)) << booted->serial_tail();
  EXPECT_NE(booted->serial().find("KESTRELON-SWAP: /dev/vda5 on"), std::string::npos) << booted->serial_tail();
  EXPECT_TRUE(booted->wait_exit(60s));
  std::printf("[vm] Debian layout run %.0f s\n", seconds_since(stage_start));
}

}  // namespace
}  // namespace kestrelon::vm
