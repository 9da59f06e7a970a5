#pragma once
// The fixed disks of the PC this Client runs on (--disk auto), from the kernel's
// list of block devices: SATA, NVMe, virtio and USB-attached disks. Left out:
// devices without hardware behind them (loop, RAM, device-mapper, RAID), removable
// media, drives without a medium, disks of sectors other than 512 bytes, disks
// that are mounted, hold swap or lie under another device, and the medium the PC
// started from (its FAT label, restore_guard.h). The order is stable from one
// start to the next: internal disks before USB ones, each by the hardware path
// to the disk (controller, then port), not by the kernel's naming order.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrelon::client {

// Where the system's views live; tests point them at trees of their own.
struct SystemPaths {
  std::string sys = "/sys";
  std::string dev = "/dev";
  std::string mountinfo = "/proc/self/mountinfo";
  std::string swaps = "/proc/swaps";
};

struct FoundDisk {
  std::string path;  // the device, as DEV/NAME
  std::string name;  // sda, nvme0n1, vda, ...
  std::string kind;  // "SATA/SCSI", "NVMe", "virtio", "USB", or "disk"
  std::uint64_t sectors = 0;
};

struct LeftOutDisk {
  std::string name;
  std::string why;
};

struct DiskSurvey {
  std::vector<FoundDisk> disks;       // in their stable order
  std::vector<LeftOutDisk> left_out;  // with hardware behind them, and why
};

DiskSurvey survey_disks(const SystemPaths& paths = {});

}  // namespace kestrelon::client
