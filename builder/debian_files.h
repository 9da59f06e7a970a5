#pragma once
// The files the builder takes from Debian's packages, each with the package that
// ships it, so a missing one is reported with what to install.
#include <filesystem>
#include <string>

namespace kestrelon::builder {

struct DebianFile {
  const char* path;
  const char* package;
};

inline constexpr DebianFile kBusybox{"/bin/busybox", "busybox-static"};
inline constexpr DebianFile kIpxeBios{"/usr/lib/ipxe/undionly.kpxe", "ipxe"};
inline constexpr DebianFile kIpxeUefi{"/usr/lib/ipxe/snponly.efi", "ipxe"};
inline constexpr DebianFile kSyslinuxMbr{"/usr/lib/syslinux/mbr/mbr.bin", "syslinux-common"};
inline constexpr DebianFile kSyslinuxBiosLoader{"/usr/lib/syslinux/modules/bios/ldlinux.c32", "syslinux-common"};
inline constexpr DebianFile kSyslinuxEfi{"/usr/lib/SYSLINUX.EFI/efi64/syslinux.efi", "syslinux-efi"};
inline constexpr DebianFile kSyslinuxEfiLoader{"/usr/lib/syslinux/modules/efi64/ldlinux.e64", "syslinux-common"};

// The file's path, or a BuilderError naming the package to install.
std::filesystem::path require_file(const DebianFile& file);

}  // namespace kestrelon::builder
