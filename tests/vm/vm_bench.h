#pragma once
// The emulated-PC bench for tests that need whole PCs: a private network
// namespace with a bridge and a tap per PC (vmbench.sh), QEMU PCs started and
// killed by process id, each with its serial console as a log file and its
// disks as plain files the test can compare byte for byte. PCs run under plain
// emulation (-accel tcg): KVM here opens but runs no guest.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lab_network.h"

namespace kestrelon::vm {

// Why the bench cannot run here (not root, QEMU or its firmware missing), or "".
std::string vm_bench_unavailable_reason();

// What the test disks' own system prints on its console once it has booted.
inline constexpr const char* kMarker = "KESTRELON-MARKER: the copied system booted";

// The Debian kernel package the boot files are made from: KESTRELON_TEST_KERNEL,
// else the newest one scripts/deps.sh downloaded; "" when there is none.
std::string kernel_package();
std::string read_all(const std::filesystem::path& path);
double seconds_since(std::chrono::steady_clock::time_point start);
// PC `n` of room `room` (the MAC's fifth byte, one per test suite, so suites
// never share a MAC): its MAC address, and the name init gives a PC without a
// DHCP host name (PC- and the MAC's last three bytes).
std::string pc_mac(int room, int n);
std::string pc_name(int room, int n);

struct PcSpec {
  std::string name;                 // names its logs: "pc1"
  int tap = 0;                      // tapN on the bridge; 0: no network card
  std::string mac;                  // "52:54:00:4b:00:01"
  std::filesystem::path disk;       // the fixed disk (virtio), a raw file; may be empty
  std::filesystem::path usb_stick;  // a raw image plugged in as a removable USB stick; may be empty
  bool uefi = false;                // OVMF instead of SeaBIOS
  bool network_first = true;        // boot order: network, then the stick, then the disks
  std::filesystem::path sata_disk;  // a disk on an AHCI (SATA) controller; may be empty
  std::filesystem::path nvme_disk;  // a disk on an NVMe controller; may be empty
  // Switched off: QEMU waits, paused, until power_on() (what Wake-on-LAN does to
  // a real PC's firmware); and a restart restarts the PC instead of ending QEMU.
  bool switched_off = false;
  bool restarts = false;
};

class VirtualPc {
 public:
  VirtualPc(lab::LabProcess process, std::filesystem::path serial_log, std::filesystem::path monitor = {});
  // Lets a PC started switched off run (its monitor's "cont"); false when that failed.
  bool power_on();
  // Waits until the serial console has shown `text`; false after `limit` or
  // when the PC has ended without showing it.
  bool wait_for_serial(const std::string& text, std::chrono::milliseconds limit);
  std::string serial() const;
  // Waits for QEMU to end (the PC powered off); its status, or nullopt.
  std::optional<int> wait_exit(std::chrono::milliseconds limit) { return process_.wait(limit); }
  void kill() { process_.kill(SIGKILL); }
  // The last lines of the serial console, for failure messages.
  std::string serial_tail(std::size_t lines = 25) const;

 private:
  lab::LabProcess process_;
  std::filesystem::path serial_log_;
  std::filesystem::path monitor_;
};

class VmBench {
 public:
  // The bridge carries 10.48.0.1/24, the Controller's address, and `taps` taps.
  explicit VmBench(int taps);
  ~VmBench();
  VmBench(const VmBench&) = delete;
  VmBench& operator=(const VmBench&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const std::string& netns() const { return name_; }
  // A folder for this bench's files (disks, logs), removed with the bench.
  const std::filesystem::path& folder() const { return folder_; }
  static constexpr const char* kAddress = "10.48.0.1";

  // Starts argv[0] (a path) inside the namespace, output to folder()/LOG.log.
  lab::LabProcess spawn(const std::vector<std::string>& argv, const std::string& log);
  // Runs a shell command inside the namespace; its exit status.
  int exec(const std::string& shell_command);
  std::unique_ptr<VirtualPc> start_pc(const PcSpec& pc);
  // Runs `work` on a thread inside the namespace, so the sockets it opens are
  // there; false when the namespace could not be entered.
  bool run_in(const std::function<void()>& work);

 private:
  std::string name_;
  std::filesystem::path folder_;
  bool ok_ = false;
  std::string error_;
};

}  // namespace kestrelon::vm

// Skips the current test, visibly, when the bench cannot run here.
#define KESTRELON_REQUIRE_VM_BENCH()                                                  \
  do {                                                                                \
    const std::string why = ::kestrelon::vm::vm_bench_unavailable_reason();          \
    if (!why.empty()) GTEST_SKIP() << "SKIPPED: emulated-PC bench unavailable: " << why; \
  } while (0)
