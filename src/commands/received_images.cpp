#include "commands/received_images.h"

#include <ctime>
#include <filesystem>

namespace kestrelon {

void note_images_received(const ClientInventory& inventory, const std::string& image_path,
                          const std::vector<TargetState>& outcomes) {
  if (inventory.file().empty()) return;
  bool any = false;
  for (const TargetState& t : outcomes) any = any || t.step == TargetStep::done;
  if (!any) return;
  std::error_code ec;
  std::filesystem::path image = std::filesystem::absolute(image_path, ec);
  if (ec) image = image_path;
  const std::int64_t now = std::time(nullptr);
  inventory.update([&](std::vector<InventoryEntry>& entries) {
    bool changed = false;
    for (const TargetState& t : outcomes) {
      if (t.step != TargetStep::done) continue;
      const int i = find_entry(entries, t.name);
      if (i < 0) continue;
      entries[static_cast<std::size_t>(i)].last_image = image.lexically_normal().string();
      entries[static_cast<std::size_t>(i)].last_image_at = now;
      changed = true;
    }
    return changed;
  });
}

}  // namespace kestrelon
