#include "commands/protected_targets.h"

#include <algorithm>

namespace kestrelon {

namespace {

bool protected_by_mac(const ListedClient& t, const std::vector<ListedClient>& listed,
                      const std::vector<InventoryEntry>& inventory) {
  if (!t.mac) return false;
  const auto sharing = std::count_if(listed.begin(), listed.end(), [&](const ListedClient& l) { return l.mac == t.mac; });
  if (sharing > 1) return false;
  return std::any_of(inventory.begin(), inventory.end(),
                     [&](const InventoryEntry& e) { return e.is_protected && e.mac == t.mac; });
}

}  // namespace

std::vector<ListedClient> protected_targets(const std::vector<ListedClient>& targets,
                                            const std::vector<ListedClient>& listed,
                                            const std::vector<InventoryEntry>& inventory) {
  std::vector<ListedClient> found;
  for (const ListedClient& t : targets) {
    const int i = find_entry(inventory, t.name);
    const bool by_name = i >= 0 && inventory[static_cast<std::size_t>(i)].is_protected;
    if (by_name || protected_by_mac(t, listed, inventory)) found.push_back(t);
  }
  return found;
}

std::string client_list_text(const std::vector<ListedClient>& clients) {
  std::string text;
  for (const ListedClient& c : clients) {
    if (!text.empty()) text += ", ";
    text += c.name + (c.address.is_zero() ? "" : " (" + c.address.text() + ")");
  }
  return text;
}

}  // namespace kestrelon
