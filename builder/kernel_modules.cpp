#include "kernel_modules.h"

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "builder_error.h"

namespace kestrelon::builder {
namespace {

// "kernel/drivers/net/virtio_net.ko.xz" -> "virtio_net"
std::string module_name(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  name = name.substr(0, name.find(".ko"));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

}  // namespace

const std::vector<std::string>& client_module_names() {
  static const std::vector<std::string> names = {
      // network cards: Intel, Realtek, Broadcom, Atheros/Qualcomm, Marvell, NVIDIA,
      // USB adapters, and the virtual ones of hypervisors
      "e100", "e1000", "e1000e", "igb", "igc", "ixgbe", "i40e", "r8169", "8139too", "tg3", "bnx2", "bnxt_en", "b44",
      "alx", "atl1c", "atl1e", "sky2", "forcedeth", "r8152", "ax88179_178a", "cdc_ether", "virtio_pci", "virtio_net", "vmxnet3",
      // disk controllers and disks: SATA, NVMe, SCSI/SAS, USB, SD cards, virtual
      "ahci", "ata_piix", "ata_generic", "sd_mod", "nvme", "megaraid_sas", "mpt3sas", "vmw_pvscsi", "virtio_blk",
      "virtio_scsi", "xhci_pci", "ehci_pci", "ohci_pci", "uhci_hcd", "usb_storage", "uas", "sdhci_pci", "mmc_block"};
  return names;
}

ModulePlan plan_modules(const std::filesystem::path& modules_dir, const std::vector<std::string>& wanted) {
  std::ifstream dep_file(modules_dir / "modules.dep");
  if (!dep_file) throw BuilderError("cannot read " + (modules_dir / "modules.dep").string());
  std::map<std::string, std::string> path_of;                    // name -> path
  std::map<std::string, std::vector<std::string>> depends_on;    // path -> paths
  std::string line;
  while (std::getline(dep_file, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string path = line.substr(0, colon);
    path_of[module_name(path)] = path;
    std::istringstream deps(line.substr(colon + 1));
    std::string dep;
    while (deps >> dep) depends_on[path].push_back(dep);
  }
  std::set<std::string> builtin;
  std::ifstream builtin_file(modules_dir / "modules.builtin");
  while (std::getline(builtin_file, line)) builtin.insert(module_name(line));

  ModulePlan plan;
  std::set<std::string> placed;
  std::function<void(const std::string&)> place = [&](const std::string& path) {
    if (!placed.insert(path).second) return;
    for (const std::string& dep : depends_on[path]) place(dep);
    plan.load_order.push_back(path);
  };
  for (const std::string& raw : wanted) {
    const std::string name = module_name(raw);
    if (const auto found = path_of.find(name); found != path_of.end()) {
      place(found->second);
    } else if (!builtin.count(name)) {
      plan.absent.push_back(raw);
    }
  }
  return plan;
}

}  // namespace kestrelon::builder
