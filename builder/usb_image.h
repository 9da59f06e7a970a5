#pragma once
// `kestrelon-builder usb`: a disk image to write onto a USB stick that boots the
// Client on BIOS and UEFI PCs alike: an MBR with syslinux's boot code and one
// bootable FAT partition labelled KSTRLN-BOOT holding syslinux (BIOS),
// syslinux.efi as EFI/BOOT/BOOTX64.EFI (UEFI), vmlinuz and initrd.img. The
// Client's init recognises its boot medium by that label and leaves it alone.
#include <filesystem>
#include <string>

#include "boot_scripts.h"
#include "client_boot_files.h"

namespace kestrelon::builder {

inline constexpr const char* kBootLabel = "KSTRLN-BOOT";

// Builds the image `out` whole or not at all; returns what to tell the user.
std::string build_usb_image(const ClientSources& sources, AfterCopy after, const std::filesystem::path& out);

}  // namespace kestrelon::builder
