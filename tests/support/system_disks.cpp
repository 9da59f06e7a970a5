#include "support/system_disks.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

// ntfs-3g's headers define struct timespec unless <sys/stat.h> came first, and
// min and max as macros.
#include <sys/stat.h>
extern "C" {
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

#include "net/byte_order.h"
#include "support/virtual_disk.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

std::string quote(const std::string& s) { return "'" + s + "'"; }

std::string output_of(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0;) out.append(buffer.data(), n);
    ::pclose(p);
  }
  return out;
}

void put_le32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put_le16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

bool write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

// The SYSTEM hive of a Windows named `name`: one control set, the one Select names.
std::string system_hive(const fs::path& folder, const std::string& name) {
  const fs::path hive = folder / "SYSTEM.hive", reg = folder / "system.reg";
  const auto empty = empty_hive();
  write_bytes(hive, std::string(empty.begin(), empty.end()));
  // Every key is made before its children: hivexregedit makes no parents.
  write_bytes(reg, "Windows Registry Editor Version 5.00\n\n[\\Select]\n\"Current\"=dword:00000001\n\n"
                   "[\\ControlSet001]\n\n[\\ControlSet001\\Control]\n\n[\\ControlSet001\\Control\\ComputerName]\n\n"
                   "[\\ControlSet001\\Control\\ComputerName\\ComputerName]\n\"ComputerName\"=\"" + name + "\"\n\n"
                   "[\\ControlSet001\\Services]\n\n[\\ControlSet001\\Services\\Tcpip]\n\n"
                   "[\\ControlSet001\\Services\\Tcpip\\Parameters]\n\"Hostname\"=\"" + name + "\"\n\"NV Hostname\"=\"" +
                   name + "\"\n\"Domain\"=\"school.lan\"\n");
  if (run_shell("hivexregedit --merge " + quote(hive.string()) + " " + quote(reg.string()) + " >/dev/null") != 0) return "";
  std::ifstream in(hive, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Makes `path` (its folders first) in the fresh NTFS volume image `volume`,
// holding `bytes`.
bool ntfs_put(const fs::path& volume, const std::string& path, const std::string& bytes) {
  ntfs_volume* vol = ntfs_mount(volume.c_str(), NTFS_MNT_NONE);
  if (!vol) return false;
  ntfs_inode* dir = ntfs_pathname_to_inode(vol, nullptr, "/");
  bool ok = dir != nullptr;
  for (std::size_t at = 1; ok && at < path.size();) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    ntfschar* name = nullptr;
    const int length = ntfs_mbstoucs(path.substr(at, end - at).c_str(), &name);
    ntfs_inode* child =
        length > 0 ? ntfs_create(dir, 0, name, static_cast<u8>(length), end == path.size() ? S_IFREG : S_IFDIR) : nullptr;
    std::free(name);
    ntfs_inode_close(dir);
    dir = child;
    ok = dir != nullptr;
    at = end + 1;
  }
  if (ok) {
    ntfs_attr* data = ntfs_attr_open(dir, AT_DATA, AT_UNNAMED, 0);
    ok = data && ntfs_attr_pwrite(data, 0, static_cast<s64>(bytes.size()), bytes.data()) ==
                     static_cast<s64>(bytes.size());
    if (data) ntfs_attr_close(data);
  }
  if (dir) ntfs_inode_close(dir);
  return ntfs_umount(vol, FALSE) == 0 && ok;
}

std::string make_volume(Volume kind, const fs::path& image, std::uint64_t bytes, const fs::path& work,
                        const SystemsDisk& spec) {
  if (run_shell("truncate -s " + std::to_string(bytes) + " " + quote(image.string())) != 0) return "truncate failed";
  switch (kind) {
    case Volume::linux_ext4:
    case Volume::data_ext4: {
      const fs::path root = work / ("root-" + image.filename().string());
      fs::create_directories(root / "etc");
      fs::create_directories(root / "var/lib/dbus");
      fs::create_directories(root / "home/user");
      write_bytes(root / "home/user/notes.txt", "kept as it was\n");
      if (kind == Volume::linux_ext4) {
        std::string host = spec.master_name;
        for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        write_bytes(root / "etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n");
        write_bytes(root / "etc/hostname", host + "\n");
        write_bytes(root / "etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\t" + host + ".school.lan\t" + host +
                                             "\n\n# The following lines are desirable for IPv6\n::1     localhost\n");
        write_bytes(root / "etc/machine-id", spec.machine_id + "\n");
        write_bytes(root / "var/lib/dbus/machine-id", spec.machine_id + "\n");
      }
      if (run_shell("mkfs.ext4 -q -F -d " + quote(root.string()) + " " + quote(image.string()) + " >/dev/null 2>&1") != 0)
        return "mkfs.ext4 failed";
      return "";
    }
    case Volume::windows_ntfs: {
      if (run_shell("mkntfs -q -F -Q " + quote(image.string()) + " >/dev/null 2>&1") != 0) return "mkntfs failed";
      std::string hive = system_hive(work, spec.master_name);
      if (hive.empty()) return "hivexregedit failed";
      if (spec.unclean_hive) hive[8] = static_cast<char>(hive[8] + 1);  // the secondary sequence number
      if (!ntfs_put(image, "/Windows/System32/config/SYSTEM", hive)) return "writing the hive into NTFS failed";
      return "";
    }
    case Volume::fat:
      return run_shell("mkfs.vfat -F 16 -n PCDATA " + quote(image.string()) + " >/dev/null") == 0 ? "" : "mkfs.vfat failed";
  }
  return "";
}

}  // namespace

std::vector<std::uint8_t> empty_hive() {
  std::vector<std::uint8_t> h(0x2000, 0);
  std::memcpy(h.data(), "regf", 4);
  put_le32(h, 4, 1);        // primary sequence number
  put_le32(h, 8, 1);        // secondary, the same: nothing in the logs
  put_le32(h, 0x14, 1);     // version 1.3
  put_le32(h, 0x18, 3);
  put_le32(h, 0x20, 1);     // file format: memory image
  put_le32(h, 0x24, 0x20);  // the root key, from the first bin
  put_le32(h, 0x28, 0x1000);
  put_le32(h, 0x2C, 1);
  const std::size_t bin = 0x1000;
  std::memcpy(h.data() + bin, "hbin", 4);
  put_le32(h, bin + 8, 0x1000);
  // The root key ("nk"), its name "ROOT", no subkeys or values yet.
  const std::size_t nk = bin + 0x20, nk_size = 0x58, sk_at = 0x20 + nk_size;
  put_le32(h, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nk_size)));
  std::memcpy(h.data() + nk + 4, "nk", 2);
  put_le16(h, nk + 6, 0x2C);  // root, no delete, ASCII name
  // No parent, subkey lists, value list or class name.
  for (const std::size_t at : {0x10u, 0x1Cu, 0x20u, 0x28u, 0x30u}) put_le32(h, nk + 4 + at, 0xFFFFFFFF);
  put_le32(h, nk + 4 + 0x2C, static_cast<std::uint32_t>(sk_at));
  put_le16(h, nk + 4 + 0x48, 4);
  std::memcpy(h.data() + nk + 4 + 0x4C, "ROOT", 4);
  // Its security record ("sk"), a list of one, with an empty access list.
  const std::size_t sk = bin + sk_at, sk_size = 0x38;
  put_le32(h, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(sk_size)));
  std::memcpy(h.data() + sk + 4, "sk", 2);
  put_le32(h, sk + 8, static_cast<std::uint32_t>(sk_at));
  put_le32(h, sk + 12, static_cast<std::uint32_t>(sk_at));
  put_le32(h, sk + 16, 1);
  put_le32(h, sk + 20, 28);
  const std::uint8_t descriptor[28] = {1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x14, 0, 0, 0,
                                       2, 0, 8,    0,    0, 0, 0, 0};
  std::memcpy(h.data() + sk + 24, descriptor, sizeof descriptor);
  // The rest of the bin is one free cell.
  put_le32(h, sk + sk_size, static_cast<std::uint32_t>(0x1000 - sk_at - sk_size));
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 0x1FC; i += 4) sum ^= read_le32(h, i);
  put_le32(h, 0x1FC, sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum == 0 ? 1 : sum);
  return h;
}

std::string make_systems_disk(const fs::path& disk, int mib, const std::vector<Volume>& volumes,
                              const SystemsDisk& spec) {
  const std::uint64_t each = (static_cast<std::uint64_t>(mib - 1) / volumes.size()) * 2048;  // sectors
  std::string script = "label: dos\n";
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const char* type = volumes[i] == Volume::windows_ntfs ? "7" : volumes[i] == Volume::fat ? "e" : "83";
    script += "start=" + std::to_string(2048 + i * each) + ", size=" + std::to_string(each) + ", type=" + type + "\n";
  }
  if (!make_virtual_disk(disk.string(), static_cast<std::uint64_t>(mib), script)) return "sfdisk failed";
  const fs::path work = disk.parent_path() / (disk.filename().string() + ".work");
  fs::create_directories(work);
  std::string problem;
  for (std::size_t i = 0; i < volumes.size() && problem.empty(); ++i) {
    const fs::path image = work / ("volume" + std::to_string(i + 1));
    problem = make_volume(volumes[i], image, each * 512, work, spec);
    if (problem.empty() && run_shell("dd if=" + quote(image.string()) + " of=" + quote(disk.string()) +
                                     " bs=512 seek=" + std::to_string(2048 + i * each) +
                                     " conv=notrunc,sparse status=none") != 0) {
      problem = "dd failed";
    }
  }
  std::error_code ec;
  fs::remove_all(work, ec);
  return problem;
}

bool extract_partition(const fs::path& disk, int number, const fs::path& out) {
  const std::string table = output_of("sfdisk -d " + quote(disk.string()) + " 2>/dev/null");
  const std::string tag = disk.string() + std::to_string(number) + " : start=";
  const std::size_t at = table.find(tag);
  if (at == std::string::npos) return false;
  std::uint64_t start = 0, size = 0;
  if (std::sscanf(table.c_str() + at + tag.size(), " %lu, size= %lu", &start, &size) != 2) return false;
  return run_shell("dd if=" + quote(disk.string()) + " of=" + quote(out.string()) + " bs=512 skip=" +
                   std::to_string(start) + " count=" + std::to_string(size) + " status=none") == 0;
}

std::string ext_file(const fs::path& volume, const std::string& path) {
  return output_of("debugfs -R " + quote("cat " + path) + " " + quote(volume.string()) + " 2>/dev/null");
}

std::string ntfs_file(const fs::path& volume, const std::string& path) {
  return output_of("ntfscat " + quote(volume.string()) + " " + quote(path) + " 2>/dev/null");
}

std::string hive_value(const fs::path& hive, const std::string& key, const std::string& value) {
  std::string v = output_of("hivexget " + quote(hive.string()) + " " + quote(key) + " " + quote(value) + " 2>/dev/null");
  while (!v.empty() && v.back() == '\n') v.pop_back();
  return v;
}

}  // namespace kestrelon::test
