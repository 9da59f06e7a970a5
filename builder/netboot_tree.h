#pragma once
// `kestrelon-builder netboot`: the folder a TFTP server serves so that PCs boot
// into the Client over the network: iPXE for BIOS (undionly.kpxe) and UEFI
// (snponly.efi) PCs, the menu (boot.ipxe), the Client's loader (client.ipxe),
// vmlinuz and initrd.img.
#include <filesystem>
#include <string>

#include "boot_scripts.h"
#include "client_boot_files.h"

namespace kestrelon::builder {

// Builds the folder `out` whole or not at all; returns what to tell the user.
std::string build_netboot_tree(const ClientSources& sources, AfterCopy after, const std::filesystem::path& out);

// Throws a BuilderError unless `dir` holds a netboot folder.
void check_netboot_tree(const std::filesystem::path& dir);

// The files of a netboot folder that serve offers (besides its own menu).
inline constexpr const char* kNetbootFiles[] = {"undionly.kpxe", "snponly.efi", "client.ipxe", "vmlinuz",
                                                "initrd.img"};

}  // namespace kestrelon::builder
