#include "usb_image.h"

#include <cstdlib>
#include <fstream>

#include "builder_error.h"
#include "debian_files.h"
#include "initramfs.h"
#include "program_run.h"
#include "staged_output.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kPartitionStart = kMiB;  // sector 2048, as partitioning tools align

void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// syslinux's boot code and one active FAT16 (LBA) partition over the rest.
std::string master_boot_record(std::uint64_t partition_bytes) {
  std::string sector = read_file_bytes(require_file(kSyslinuxMbr));
  sector.resize(512, '\0');
  std::fill(sector.begin() + 440, sector.end(), '\0');
  put32(sector, 440, 0x4b53544cu);  // disk signature
  const std::size_t entry = 446;
  sector[entry] = static_cast<char>(0x80);  // active
  const char chs_unused[3] = {static_cast<char>(0xfe), static_cast<char>(0xff), static_cast<char>(0xff)};
  std::copy(chs_unused, chs_unused + 3, sector.begin() + entry + 1);
  sector[entry + 4] = 0x0e;  // FAT16, addressed by LBA
  std::copy(chs_unused, chs_unused + 3, sector.begin() + entry + 5);
  put32(sector, entry + 8, static_cast<std::uint32_t>(kPartitionStart / 512));
  put32(sector, entry + 12, static_cast<std::uint32_t>(partition_bytes / 512));
  sector[510] = 0x55;
  sector[511] = static_cast<char>(0xaa);
  return sector;
}

void make_fat_partition(const fs::path& part, std::uint64_t bytes, const fs::path& files) {
  const fs::path mkfs = require_program("mkfs.vfat", "dosfstools");
  const fs::path mcopy = require_program("mcopy", "mtools");
  const fs::path mmd = require_program("mmd", "mtools");
  const fs::path syslinux = require_program("syslinux", "syslinux");
  std::ofstream(part, std::ios::binary).close();
  fs::resize_file(part, bytes);
  run_or_throw({mkfs.string(), "-F", "16", "-n", kBootLabel, part.string()}, "making the FAT file system");
  const std::string image = part.string();
  const auto copy = [&](const fs::path& from, const std::string& to) {
    run_or_throw({mcopy.string(), "-i", image, from.string(), to}, "copying " + from.filename().string());
  };
  run_or_throw({mmd.string(), "-i", image, "::/EFI", "::/EFI/BOOT"}, "making EFI/BOOT");
  copy(files / "vmlinuz", "::/vmlinuz");
  copy(files / "initrd.img", "::/initrd.img");
  copy(files / "syslinux.cfg", "::/syslinux.cfg");
  copy(require_file(kSyslinuxEfi), "::/EFI/BOOT/BOOTX64.EFI");
  copy(require_file(kSyslinuxEfiLoader), "::/EFI/BOOT/ldlinux.e64");
  copy(files / "syslinux.cfg", "::/EFI/BOOT/syslinux.cfg");
  // The BIOS half: the FAT boot sector and ldlinux.sys/ldlinux.c32.
  run_or_throw({syslinux.string(), "--install", image}, "installing syslinux");
}

}  // namespace

std::string build_usb_image(const ClientSources& sources, AfterCopy after, const fs::path& out) {
  for (const DebianFile* f : {&kSyslinuxMbr, &kSyslinuxBiosLoader, &kSyslinuxEfi, &kSyslinuxEfiLoader}) {
    require_file(*f);
  }
  require_program("mkfs.vfat", "dosfstools");
  require_program("mcopy", "mtools");
  require_program("syslinux", "syslinux");
  // mtools otherwise refuses a file system on a plain file whose geometry it doubts.
  ::setenv("MTOOLS_SKIP_CHECK", "1", 1);

  StagedOutput staged(out, StagedOutput::Kind::file);
  const fs::path scratch = staged.path().parent_path();
  const fs::path files = scratch / "files";
  fs::create_directory(files);
  const ClientBootFiles boot = write_client_boot_files(sources, files);
  {
    std::ofstream cfg(files / "syslinux.cfg");
    cfg << syslinux_config(client_kernel_line(after, sources.kernel_args));
  }
  const std::uint64_t content = fs::file_size(files / "vmlinuz") + fs::file_size(files / "initrd.img");
  // Room for the loaders, the FAT and a later look at the stick; whole MiB.
  const std::uint64_t partition_bytes = (content + 4 * kMiB + kMiB - 1) / kMiB * kMiB;
  const fs::path part = scratch / "partition.img";
  make_fat_partition(part, partition_bytes, files);

  {
    std::ofstream image(staged.path(), std::ios::binary | std::ios::trunc);
    const std::string mbr = master_boot_record(partition_bytes);
    image.write(mbr.data(), static_cast<std::streamsize>(mbr.size()));
    image.write(std::string(kPartitionStart - mbr.size(), '\0').data(),
                static_cast<std::streamsize>(kPartitionStart - mbr.size()));
    std::ifstream in(part, std::ios::binary);
    image << in.rdbuf();
    image.close();
    if (!image) throw BuilderError("cannot write " + staged.path().string());
  }
  fs::remove_all(files);
  fs::remove(part);
  staged.commit();
  return "Wrote the USB image " + fs::absolute(out).string() + " (" + size_text(out) + "; kernel " +
         boot.kernel_version + ", " + std::to_string(boot.initramfs.modules) + " driver modules; after a copy: " +
         after_copy_word(after) + "). Write it to a stick with: dd if=" + out.string() +
         " of=/dev/sdX bs=4M conv=fsync\n";
}

}  // namespace kestrelon::builder
