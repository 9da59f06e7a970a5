// An unattended room on emulated PCs: three switched-off PCs of the group Room,
// network boot first, and a fourth PC of the same room that is not in it.
// `kestrelon-cli copy IMAGE --group Room --wake --min-clients 3 --max-wait 300`
// marks the three pending and wakes them; the test stands in for their
// firmware: QEMU starts them paused (-S), and a packet socket on each PC's tap
// watches for a magic packet naming that PC's MAC address, upon which the PC
// is let run (the monitor's "cont"). They boot into the Client because they are
// pending, receive the copy, restart (--after-copy reboot), and, no longer
// pending, boot the copied system from their disks. The fourth PC boots its
// own disk throughout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "cpio_archive.h"
#include "support/wake_watch.h"
#include "vm_bench.h"

namespace kestrelon::vm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRoom = 1;  // the third MAC byte of this suite's PCs
constexpr int kPcs = 4;  // PCs 1..3 in the group, PC 4 not

class RoomVmTest : public ::testing::Test {
 protected:
  // The boot files, restarting the PC after a copy.
  static void SetUpTestSuite() {
    if (!vm_bench_unavailable_reason().empty() || kernel_package().empty()) return;
    char dir[] = "/tmp/kestrelon-vm-room-XXXXXX";
    if (!::mkdtemp(dir)) return;
    ::chmod(dir, 0755);
    boot_ = dir;
    const auto start = Clock::now();
    std::string command = std::string("'") + KESTRELON_BUILDER_PATH + "' netboot --out '" + (boot_ / "boot").string() +
                          "' --after-copy reboot --kernel-args no_timer_check --kernel '" + kernel_package() +
                          "' --client '" + KESTRELON_CLIENT_PATH + "' --cache '" +
                          (fs::temp_directory_path() / "kestrelon-builder-test-cache").string() + "' >'" +
                          (boot_ / "builder.log").string() + "' 2>&1";
    if (std::system(command.c_str()) != 0) error_ = read_all(boot_ / "builder.log");
    std::printf("[vm] room boot files built in %.0f s\n", seconds_since(start));
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    if (!boot_.empty()) fs::remove_all(boot_, ec);
  }

  void SetUp() override {
    KESTRELON_REQUIRE_VM_BENCH();
    if (kernel_package().empty()) GTEST_SKIP() << "SKIPPED: no Debian kernel package (scripts/deps.sh downloads one)";
    ASSERT_TRUE(error_.empty()) << error_;
    bench_ = std::make_unique<VmBench>(kPcs);
    ASSERT_TRUE(bench_->ok()) << bench_->error();
  }

  fs::path file(const std::string& name) const { return bench_->folder() / name; }
  // What every program of the Controller's machine here is given.
  std::vector<std::string> env() const {
    return {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + file("settings").string(),
            "KESTRELON_PROFILE=" + file("kestreln.ini").string(), "XDG_STATE_HOME=" + file("state").string(),
            "KESTRELON_PENDING_DIR=" + file("pending").string()};
  }
  int run(std::vector<std::string> argv, const std::string& log, std::chrono::seconds limit, std::string* out) {
    const std::vector<std::string> prefix = env();
    argv.insert(argv.begin(), prefix.begin(), prefix.end());
    lab::LabProcess p = bench_->spawn(argv, log);
    const auto status = p.wait(limit);
    if (!status) p.kill(SIGKILL);
    *out = p.output();
    return status.value_or(-1);
  }

  // A disk with a small system that prints kMarker and powers off.
  fs::path marker_disk() {
    builder::CpioArchive initramfs;
    initramfs.add_char_device("/dev/console", 5, 1);
    initramfs.add_file_from("/bin/busybox", "/bin/busybox");
    initramfs.add_file("/init", std::string("#!/bin/busybox sh\n/bin/busybox echo '") + kMarker +
                                    "'\n/bin/busybox poweroff -f\n", 0755);
    initramfs.write_gzip(file("marker-initrd.img"));
    const fs::path disk = file("source.disk");
    const std::string command = std::string(KESTRELON_VM_DIR) + "/make_marker_disk.sh " + disk.string() + " 24 " +
                                (boot_ / "boot" / "vmlinuz").string() + " " + file("marker-initrd.img").string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return disk;
  }

  // The image of `disk`, made by a reference Client on a host of its own beside
  // the room (the PCs' disks are blank, and an image has to come from somewhere).
  fs::path image_of(const fs::path& disk) {
    const std::string host = bench_->netns() + "s";
    const std::string bench = bench_->netns();
    // Made from outside: a namespace made inside another one's mount namespace
    // would not be reachable.
    const std::string setup = "ip netns add " + host + " && ip link add v0 netns " + host +
                              " type veth peer name vsrc netns " + bench + " && ip -n " + bench +
                              " link set vsrc master br0 up && ip -n " + host + " addr add 10.48.0.2/24 dev v0 && ip -n " +
                              host + " link set v0 up && ip -n " + host + " link set lo up";
    EXPECT_EQ(std::system(setup.c_str()), 0) << setup;
    struct Host {
      std::string name;
      ~Host() { std::system(("ip netns del " + name + " 2>/dev/null").c_str()); }
    } gone{host};
    lab::LabProcess source = bench_->spawn({"/usr/sbin/ip", "netns", "exec", host, KESTRELON_CLIENT_PATH, "--disk",
                                            disk.string(), "--interface", "v0", "--name", "SOURCE"},
                                           "source");
    const fs::path image = file("room.krn");
    std::string out;
    EXPECT_EQ(run({KESTRELON_CLI_PATH, "create", "--client", "SOURCE", "--disk", "1", "--out", image.string(),
                   "--description", "the room's system", "--discover-seconds", "20"},
                  "create", 120s, &out),
              0)
        << out << source.output();
    source.kill();
    return image;
  }

  // The group and the inventory as an earlier term left them: the PCs had other
  // addresses then (DHCP), and the Controller had learnt their cards.
  void room_as_left_last_term() {
    std::ofstream ini(file("kestreln.ini"));
    ini << "[Room]\n";
    std::string clients;
    for (int n = 1; n <= 3; ++n) {
      ini << n - 1 << "=" << pc_name(kRoom, n) << ",010.048.000.02" << n << ",1,0,64\n";
      clients += std::string(n > 1 ? "," : "") + R"({"name":")" + pc_name(kRoom, n) + R"(","address":"10.48.0.2)" +
                 std::to_string(n) + R"(","mac":")" + pc_mac(kRoom, n) +
                 R"(","interface":"10.48.0.1","broadcast":"10.48.0.255","last_seen":"2026-06-30T16:00:00Z",)"
                 R"("last_image":null,"last_image_at":null,"protected":false})";
    }
    fs::create_directories(file("state") / "kestrelon");
    std::ofstream(file("state") / "kestrelon" / "clients.json") << R"({"clients":[)" << clients << "]}\n";
  }

  static fs::path boot_;
  static std::string error_;
  std::unique_ptr<VmBench> bench_;
};

fs::path RoomVmTest::boot_;
std::string RoomVmTest::error_;

TEST_F(RoomVmTest, WokenPcsOfTheGroupBootTheClientTakeTheCopyAndRestartIntoIt) {
  const auto begun = Clock::now();
  const fs::path source = marker_disk();
  const fs::path image = image_of(source);
  ASSERT_TRUE(fs::exists(image));
  room_as_left_last_term();
  ASSERT_EQ(bench_->exec("mkdir -p " + file("pending").string()), 0);
  auto server = bench_->spawn([&] {
    auto argv = env();
    argv.insert(argv.end(), {KESTRELON_BUILDER_PATH, "serve", "--dir", (boot_ / "boot").string(), "--interface", "br0",
                             "--dhcp-range", "10.48.0.100,10.48.0.199", "--menu-timeout", "0", "--pending-dir",
                             file("pending").string()});
    return argv;
  }(), "serve");

  // PCs 1..3 switched off with blank disks; PC 4 on, with its own system.
  std::vector<fs::path> disks;
  std::vector<std::unique_ptr<VirtualPc>> pcs;
  for (int n = 1; n <= kPcs; ++n) {
    disks.push_back(file("pc" + std::to_string(n) + ".disk"));
    if (n < kPcs) {
      std::ofstream(disks.back()).close();
      fs::resize_file(disks.back(), fs::file_size(source));
    } else {
      fs::copy_file(source, disks.back());
    }
    PcSpec pc_spec{"pc" + std::to_string(n), n, pc_mac(kRoom, n), disks.back()};
    pc_spec.switched_off = n < kPcs;
    pc_spec.restarts = n < kPcs;
    pcs.push_back(bench_->start_pc(pc_spec));
  }
  // Standing in for the firmware of the switched-off PCs: a magic packet for
  // its card, seen on its cable, switches it on.
  std::vector<std::unique_ptr<test::WakeWatch>> cards;
  std::array<std::atomic<bool>, kPcs> woken{};
  ASSERT_TRUE(bench_->run_in([&] {
    for (int n = 1; n < kPcs; ++n) {
      VirtualPc* pc = pcs[static_cast<std::size_t>(n - 1)].get();
      const MacAddress mac = *MacAddress::parse(pc_mac(kRoom, n));
      cards.push_back(std::make_unique<test::WakeWatch>("tap" + std::to_string(n), [=, &woken](const MacAddress& m) {
        if (m != mac || woken[static_cast<std::size_t>(n - 1)].exchange(true)) return;
        pc->power_on();
      }));
    }
  }));
  for (const auto& card : cards) ASSERT_TRUE(card->ok());

  std::string out;
  const auto copy_start = Clock::now();
  const int status = run({KESTRELON_CLI_PATH, "copy", image.string(), "--group", "Room", "--wake", "--min-clients",
                          "3", "--max-wait", "300", "--json"},
                         "copy", 420s, &out);
  std::string consoles;
  for (auto& pc : pcs) consoles += "\n--- serial ---" + pc->serial_tail();
  ASSERT_EQ(status, 0) << out << consoles << "\n--- serve ---\n" << server.output();
  std::printf("[vm] woken, booted into the Client and copied in %.0f s\n", seconds_since(copy_start));
  for (int n = 1; n < kPcs; ++n) {
    EXPECT_TRUE(woken[static_cast<std::size_t>(n - 1)]) << pc_name(kRoom, n) << " was never woken";
    EXPECT_NE(out.find(pc_name(kRoom, n) + " now answers at 10.48.0.1"), std::string::npos) << "found by its card\n" << out;
  }
  // Restarted, no longer pending: each boots the copied system from its disk.
  for (int n = 1; n < kPcs; ++n) {
    VirtualPc& pc = *pcs[static_cast<std::size_t>(n - 1)];
    EXPECT_TRUE(pc.wait_for_serial(kMarker, 240s)) << pc_name(kRoom, n) << pc.serial_tail();
    EXPECT_TRUE(pc.wait_exit(60s)) << pc_name(kRoom, n);
    const std::string serial = pc.serial();
    const auto restart = serial.find("copy done: restarting");
    EXPECT_NE(restart, std::string::npos) << pc_name(kRoom, n) << pc.serial_tail();
    EXPECT_NE(serial.find(kMarker, restart == std::string::npos ? 0 : restart), std::string::npos);
    const std::string a = read_all(source), b = read_all(disks[static_cast<std::size_t>(n - 1)]);
    EXPECT_EQ(a.substr(446, 66), b.substr(446, 66)) << pc_name(kRoom, n) << ": partition table differs";
    EXPECT_TRUE(a.compare(1 << 20, a.size() - (1 << 20), b, 1 << 20, b.size() - (1 << 20)) == 0)
        << pc_name(kRoom, n) << ": partition differs";
  }
  // The PC outside the group booted its own disk, never the Client.
  VirtualPc& other = *pcs.back();
  EXPECT_TRUE(other.wait_for_serial(kMarker, 10s)) << other.serial_tail();
  EXPECT_EQ(other.serial().find("kestrelon:"), std::string::npos) << other.serial_tail();
  const std::string served = server.output();
  for (int n = 1; n < kPcs; ++n)
    EXPECT_NE(served.find("PC " + pc_mac(kRoom, n) + " (" + pc_name(kRoom, n) + ") has a transfer waiting"), std::string::npos)
        << served;
  EXPECT_EQ(served.find("PC " + pc_mac(kRoom, kPcs) + " (" + pc_name(kRoom, kPcs) + ") has a transfer"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(file("pending"))) << "nothing stays pending";
  std::printf("[vm] room test %.0f s in all\n", seconds_since(begun));
  server.kill(SIGTERM);
}

}  // namespace
}  // namespace kestrelon::vm
