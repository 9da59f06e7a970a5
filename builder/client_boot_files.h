#pragma once
// The two files every boot medium of the Client carries: the kernel (vmlinuz)
// and our initramfs (initrd.img), composed from the kernel package, busybox and
// kestrelon-client.
#include <filesystem>
#include <string>

#include "initramfs.h"

namespace kestrelon::builder {

struct ClientSources {
  std::string kernel;                // --kernel: empty, a .deb or a folder
  std::filesystem::path client;      // kestrelon-client
  std::filesystem::path cache;       // where kernel packages are unpacked
  std::string kernel_args;           // --kernel-args: more for the kernel command line
};

struct ClientBootFiles {
  std::string kernel_version;
  InitramfsSummary initramfs;
};

// Writes FOLDER/vmlinuz and FOLDER/initrd.img.
ClientBootFiles write_client_boot_files(const ClientSources& sources, const std::filesystem::path& folder);

// kestrelon-client beside this program, else on PATH; a BuilderError otherwise.
std::filesystem::path default_client_program();

// "12.3 MB" for a folder's or a file's bytes.
std::string size_text(const std::filesystem::path& path);

}  // namespace kestrelon::builder
