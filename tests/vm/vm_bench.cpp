#include "vm_bench.h"

#include <fcntl.h>
#include <glob.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace kestrelon::vm {
namespace fs = std::filesystem;
using lab::run_shell;
using lab::shell_quote;
namespace {

constexpr const char* kOvmfCode = "/usr/share/OVMF/OVMF_CODE_4M.fd";
constexpr const char* kOvmfVars = "/usr/share/OVMF/OVMF_VARS_4M.fd";

std::string script() { return KESTRELON_VMBENCH_SCRIPT; }

}  // namespace

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

std::string pc_mac(int room, int n) {
  char mac[24];
  std::snprintf(mac, sizeof mac, "52:54:00:4b:%02x:%02x", room, n);
  return mac;
}

std::string pc_name(int room, int n) {
  char name[16];
  std::snprintf(name, sizeof name, "PC-4B%02X%02X", room, n);
  return name;
}

bool VmBench::run_in(const std::function<void()>& work) { return lab::run_in_namespace(name_, work); }

std::string vm_bench_unavailable_reason() {
  if (::geteuid() != 0) return "needs root to make network namespaces and taps";
  if (run_shell("command -v qemu-system-x86_64 >/dev/null 2>&1") != 0) return "qemu-system-x86_64 is missing";
  if (!fs::exists("/dev/net/tun")) return "/dev/net/tun is missing";
  if (!fs::exists(kOvmfCode)) return std::string(kOvmfCode) + " is missing (package ovmf)";
  return {};
}

VirtualPc::VirtualPc(lab::LabProcess process, fs::path serial_log, fs::path monitor)
    : process_(std::move(process)), serial_log_(std::move(serial_log)), monitor_(std::move(monitor)) {}

bool VirtualPc::power_on() {
  // The monitor socket is a file: reachable from any network namespace.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::snprintf(at.sun_path, sizeof at.sun_path, "%s", monitor_.c_str());
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0) {
      const char command[] = "cont\n";
      const bool sent = ::write(fd, command, sizeof command - 1) == static_cast<ssize_t>(sizeof command - 1);
      // Let the monitor read the line before the connection goes.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ::close(fd);
      return sent;
    }
    if (fd >= 0) ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::string VirtualPc::serial() const { return read_all(serial_log_); }

bool VirtualPc::wait_for_serial(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (serial().find(text) != std::string::npos) return true;
    if (!process_.running()) return serial().find(text) != std::string::npos;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

std::string VirtualPc::serial_tail(std::size_t lines) const {
  const std::string all = serial();
  std::size_t at = all.size();
  for (std::size_t n = 0; n <= lines && at > 0; ++n) at = all.rfind('\n', at - 1);
  return at == std::string::npos ? all : all.substr(at);
}

VmBench::VmBench(int taps) {
  error_ = vm_bench_unavailable_reason();
  if (!error_.empty()) return;
  run_shell(shell_quote(script()) + " sweep >/dev/null 2>&1");
  std::random_device rd;
  name_ = "kv" + std::to_string(::getpid()) + "x" + std::to_string(rd() % 1000000);
  char dir[] = "/tmp/kestrelon-vm-XXXXXX";
  if (!::mkdtemp(dir)) {
    error_ = "cannot make a folder in /tmp";
    return;
  }
  folder_ = dir;
  ::chmod(dir, 0755);  // the TFTP server reads boot files from here as its own user
  const fs::path log = folder_ / "vmbench-up.log";
  const int rc = run_shell(shell_quote(script()) + " up " + name_ + " " + kAddress + "/24 " + std::to_string(taps) + " >" +
                       shell_quote(log.string()) + " 2>&1");
  ok_ = rc == 0;
  if (!ok_) error_ = "vmbench.sh up failed (" + std::to_string(rc) + "): " + read_all(log);
}

VmBench::~VmBench() {
  if (!name_.empty()) run_shell(shell_quote(script()) + " down " + name_ + " >/dev/null 2>&1");
  if (!folder_.empty() && !std::getenv("KESTRELON_KEEP_VM_FILES")) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
}

lab::LabProcess VmBench::spawn(const std::vector<std::string>& argv, const std::string& log) {
  if (argv.empty()) return {};
  const std::string log_path = (folder_ / (log + ".log")).string();
  const std::string ns_path = "/var/run/netns/" + name_;
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int ns = ::open(ns_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) _exit(126);
    const int out = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    if (in >= 0) ::dup2(in, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::fprintf(stderr, "exec %s failed: %s\n", args[0], std::strerror(errno));
    _exit(127);
  }
  return lab::LabProcess(pid, log_path);
}

int VmBench::exec(const std::string& command) {
  return run_shell("ip netns exec " + shell_quote(name_) + " sh -c " + shell_quote(command));
}

std::unique_ptr<VirtualPc> VmBench::start_pc(const PcSpec& pc) {
  const fs::path serial = folder_ / (pc.name + ".serial");
  std::error_code ec;
  fs::remove(serial, ec);
  const fs::path monitor = pc.switched_off ? folder_ / (pc.name + ".monitor") : fs::path();
  std::vector<std::string> argv = {"/usr/bin/env", "qemu-system-x86_64", "-accel", "tcg", "-m", "512",
                                   "-display", "none", "-serial", "file:" + serial.string()};
  if (pc.switched_off) {
    argv.insert(argv.end(), {"-S", "-monitor", "unix:" + monitor.string() + ",server,nowait"});
  } else {
    argv.insert(argv.end(), {"-monitor", "none"});
  }
  if (!pc.restarts) argv.push_back("-no-reboot");
  if (pc.uefi) {
    const fs::path vars = folder_ / (pc.name + ".vars");
    fs::copy_file(kOvmfVars, vars, fs::copy_options::overwrite_existing, ec);
    argv.insert(argv.end(), {"-machine", "q35", "-drive", std::string("if=pflash,format=raw,readonly=on,file=") + kOvmfCode,
                             "-drive", "if=pflash,format=raw,file=" + vars.string()});
  }
  int boot_index = 1;
  if (pc.tap > 0 && pc.network_first) boot_index = 2;
  if (pc.tap > 0) {
    argv.insert(argv.end(), {"-netdev", "tap,id=net0,ifname=tap" + std::to_string(pc.tap) + ",script=no,downscript=no",
                             "-device", "virtio-net-pci,netdev=net0,mac=" + pc.mac +
                                            (pc.network_first ? ",bootindex=1" : "")});
  } else {
    argv.insert(argv.end(), {"-nic", "none"});
  }
  if (!pc.usb_stick.empty()) {
    argv.insert(argv.end(), {"-device", "qemu-xhci,id=xhci", "-drive",
                             "if=none,id=stick,format=raw,file=" + pc.usb_stick.string(), "-device",
                             // Many USB drives say they are fixed disks: the Client's init
                             // must know its stick by the label, not by the removable flag.
                             "usb-storage,bus=xhci.0,drive=stick,removable=off,bootindex=" +
                                 std::to_string(boot_index++)});
  }
  if (!pc.disk.empty()) {
    argv.insert(argv.end(), {"-drive", "if=none,id=disk,format=raw,file=" + pc.disk.string(), "-device",
                             "virtio-blk-pci,drive=disk,bootindex=" + std::to_string(boot_index++)});
  }
  if (!pc.sata_disk.empty()) {
    argv.insert(argv.end(), {"-drive", "if=none,id=sata,format=raw,file=" + pc.sata_disk.string(), "-device",
                             "ahci,id=ahci", "-device", "ide-hd,drive=sata,bus=ahci.0"});
  }
  if (!pc.nvme_disk.empty()) {
    argv.insert(argv.end(), {"-drive", "if=none,id=nvme,format=raw,file=" + pc.nvme_disk.string(), "-device",
                             "nvme,serial=kestrelon-" + pc.name + ",drive=nvme"});
  }
  return std::make_unique<VirtualPc>(spawn(argv, pc.name + ".qemu"), serial, monitor);
}

}  // namespace kestrelon::vm
