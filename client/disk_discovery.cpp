#include "disk_discovery.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "disk_device.h"
#include "first_line.h"
#include "restore_guard.h"

namespace kestrelon::client {
namespace {

namespace fs = std::filesystem;

// The block devices (disks or partitions) that are mounted or hold swap.
std::set<std::string> busy_devices(const SystemPaths& paths) {
  std::set<std::string> busy;
  std::ifstream mounts(paths.mountinfo);
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    if (!(fields >> id >> parent >> numbers)) continue;
    std::error_code ec;
    const fs::path device = fs::canonical(fs::path(paths.sys) / "dev/block" / numbers, ec);
    if (!ec) busy.insert(device.filename().string());
  }
  std::ifstream swaps(paths.swaps);
  std::string line;
  std::getline(swaps, line);  // the heading
  while (std::getline(swaps, line)) {
    std::istringstream fields(line);
    std::string device;
    if (fields >> device) busy.insert(fs::path(device).filename().string());
  }
  return busy;
}

std::vector<fs::path> partitions_of(const fs::path& disk) {
  std::vector<fs::path> parts;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(disk, ec)) {
    if (fs::exists(e.path() / "partition")) parts.push_back(e.path());
  }
  return parts;
}

std::string first_holder(const fs::path& device) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(device / "holders", ec)) return e.path().filename().string();
  return {};
}

std::string kind_of(const std::string& hardware_path) {
  if (hardware_path.find("/usb") != std::string::npos) return "USB";
  if (hardware_path.find("/nvme") != std::string::npos) return "NVMe";
  if (hardware_path.find("/virtio") != std::string::npos) return "virtio";
  if (hardware_path.find("/ata") != std::string::npos || hardware_path.find("/host") != std::string::npos) {
    return "SATA/SCSI";
  }
  return "disk";
}

// Why the disk is no Client disk; empty when it is one.
std::string why_left_out(const fs::path& dir, const std::string& name, const SystemPaths& paths,
                         const std::set<std::string>& busy) {
  if (first_line(dir / "removable") == "1") return "removable medium";
  if (first_line(dir / "size") == "0" || first_line(dir / "size").empty()) return "no medium";
  const std::string sector = first_line(dir / "queue/logical_block_size");
  if (!sector.empty() && sector != "512") return sector + "-byte sectors, which this Client does not handle";
  std::vector<fs::path> devices = partitions_of(dir);
  devices.insert(devices.begin(), dir);
  for (const fs::path& d : devices) {
    const std::string n = d.filename().string();
    if (busy.count(n)) return n + " is mounted or holds swap";
    if (const std::string holder = first_holder(d); !holder.empty()) return n + " is in use by " + holder;
  }
  std::string error;
  const auto disk = DiskDevice::open((fs::path(paths.dev) / name).string(), false, &error);
  if (!disk) return error;
  if (is_boot_medium(*disk)) return std::string("the medium this PC started from (FAT label ") + kBootMediumLabel + ")";
  return {};
}

// Runs of digits compared as numbers.
bool natural_less(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ie = i, je = j;
      while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) ++ie;
      while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) ++je;
      const std::string x = a.substr(i, ie - i), y = b.substr(j, je - j);
      const std::size_t xs = x.find_first_not_of('0'), ys = y.find_first_not_of('0');
      const std::string xn = xs == std::string::npos ? "" : x.substr(xs),
                        yn = ys == std::string::npos ? "" : y.substr(ys);
      if (xn.size() != yn.size()) return xn.size() < yn.size();
      if (xn != yn) return xn < yn;
      i = ie;
      j = je;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

// The kernel's paths to two devices, folder by folder: PCI addresses
// ("0000:00:1f.2") are fixed-width hexadecimal, so their text order is their
// order; elsewhere numbers count ("ata2" before "ata10").
bool hardware_path_less(const std::string& a, const std::string& b) {
  const auto pci = [](const std::string& c) {
    return c.size() == 12 && c[4] == ':' && c[7] == ':' && c[10] == '.' && std::all_of(c.begin(), c.end(), [](char ch) {
             return std::isxdigit(static_cast<unsigned char>(ch)) || ch == ':' || ch == '.';
           });
  };
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const std::size_t ie = std::min(a.find('/', i), a.size()), je = std::min(b.find('/', j), b.size());
    const std::string x = a.substr(i, ie - i), y = b.substr(j, je - j);
    if (x != y) return pci(x) && pci(y) ? x < y : natural_less(x, y);
    i = ie + 1;
    j = je + 1;
  }
  return a.size() - std::min(i, a.size()) < b.size() - std::min(j, b.size());
}

}  // namespace

DiskSurvey survey_disks(const SystemPaths& paths) {
  DiskSurvey survey;
  const std::set<std::string> busy = busy_devices(paths);
  struct Candidate {
    FoundDisk disk;
    std::string hardware;
  };
  std::vector<Candidate> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(paths.sys) / "block", ec)) {
    const fs::path dir = entry.path();
    const std::string name = dir.filename().string();
    // Loop, RAM, device-mapper and RAID devices have no hardware behind them.
    if (!fs::exists(dir / "device")) continue;
    if (const std::string why = why_left_out(dir, name, paths, busy); !why.empty()) {
      survey.left_out.push_back({name, why});
      continue;
    }
    const std::string hardware = fs::canonical(dir, ec).string();
    FoundDisk d{(fs::path(paths.dev) / name).string(), name, kind_of(hardware),
                std::strtoull(first_line(dir / "size").c_str(), nullptr, 10)};
    found.push_back({d, hardware});
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    const bool usb_a = a.disk.kind == "USB", usb_b = b.disk.kind == "USB";
    if (usb_a != usb_b) return usb_b;
    return hardware_path_less(a.hardware, b.hardware);
  });
  for (Candidate& c : found) survey.disks.push_back(std::move(c.disk));
  std::sort(survey.left_out.begin(), survey.left_out.end(),
            [](const LeftOutDisk& a, const LeftOutDisk& b) { return natural_less(a.name, b.name); });
  return survey;
}

}  // namespace kestrelon::client
