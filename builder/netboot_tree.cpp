#include "netboot_tree.h"

#include <fstream>

#include "builder_error.h"
#include "debian_files.h"
#include "staged_output.h"

namespace kestrelon::builder {
namespace fs = std::filesystem;
namespace {

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw BuilderError("cannot write " + path.string());
}

void copy_debian_file(const DebianFile& file, const fs::path& target) {
  std::error_code ec;
  fs::copy_file(require_file(file), target, ec);
  if (ec) throw BuilderError("cannot copy " + std::string(file.path) + ": " + ec.message());
  fs::permissions(target, fs::perms(0644), ec);
}

}  // namespace

std::string build_netboot_tree(const ClientSources& sources, AfterCopy after, const fs::path& out) {
  // Missing packages are reported before the slow part.
  require_file(kIpxeBios);
  require_file(kIpxeUefi);
  StagedOutput staged(out, StagedOutput::Kind::folder);
  const fs::path& dir = staged.path();
  copy_debian_file(kIpxeBios, dir / "undionly.kpxe");
  copy_debian_file(kIpxeUefi, dir / "snponly.efi");
  write_text(dir / "boot.ipxe", menu_ipxe_script(MenuChoice::client, 5));
  write_text(dir / "client.ipxe", client_ipxe_script(client_kernel_line(after, sources.kernel_args)));
  const ClientBootFiles files = write_client_boot_files(sources, dir);
  write_text(dir / StagedOutput::kMarker, "kestrelon-builder " KESTRELON_FILE_VERSION "\nkernel " +
                                              files.kernel_version + "\nafter-copy " + after_copy_word(after) + "\n");
  staged.commit();
  std::string text = "Wrote the network boot files to " + fs::absolute(out).string() + " (" + size_text(out) +
                     "; kernel " + files.kernel_version + ", " + std::to_string(files.initramfs.modules) +
                     " driver modules; after a copy: " + after_copy_word(after) + ").\n";
  if (!files.initramfs.absent.empty()) {
    text += "This kernel has no driver named:";
    for (const auto& name : files.initramfs.absent) text += " " + name;
    text += "\n";
  }
  return text;
}

void check_netboot_tree(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw BuilderError("--dir " + dir.string() + " is not a folder");
  for (const char* name : kNetbootFiles) {
    if (!fs::is_regular_file(dir / name, ec)) {
      throw BuilderError(dir.string() + " lacks " + name + ": prepare it with 'kestrelon-builder netboot --out " +
                         dir.string() + "'");
    }
  }
}

}  // namespace kestrelon::builder
