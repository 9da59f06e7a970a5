#pragma once
// Which kernel modules the Client's initramfs carries and the order init loads
// them in: the drivers of common network cards and disk controllers, each after
// the modules it depends on (from the kernel's modules.dep).
#include <filesystem>
#include <string>
#include <vector>

namespace kestrelon::builder {

// Drivers for the network cards and disks of the PCs a room is likely to have.
const std::vector<std::string>& client_module_names();

struct ModulePlan {
  std::vector<std::string> load_order;  // paths relative to the modules folder
  std::vector<std::string> absent;      // wanted names neither a module nor built in
};

// Resolves `wanted` (names with '-' or '_') against `modules_dir`
// (lib/modules/VERSION with modules.dep and modules.builtin).
ModulePlan plan_modules(const std::filesystem::path& modules_dir, const std::vector<std::string>& wanted);

}  // namespace kestrelon::builder
