#pragma once
// Protected Clients: PCs the Client inventory marks as not to be overwritten
// (a room's master PC). A Copy leaves them out unless told to include them:
// `copy --include-protected`, or Yes in the window's confirmation, which names
// them. A Client is protected when the inventory entry of its name is, or when a
// protected entry has its MAC address and no other listed Client shares that
// address (a PC renamed since it was protected stays protected).
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "net/mac_learner.h"

namespace kestrelon {

// The Clients of `targets` that are protected, in order. `listed` is every
// Client listed now (to tell a MAC address shared by several).
std::vector<ListedClient> protected_targets(const std::vector<ListedClient>& targets,
                                            const std::vector<ListedClient>& listed,
                                            const std::vector<InventoryEntry>& inventory);

// "MASTER-01 (10.1.12.10), MASTER-02 (10.1.12.11)".
std::string client_list_text(const std::vector<ListedClient>& clients);

inline constexpr const char* kProtectedReason = "protected: not overwritten unless asked (--include-protected)";

}  // namespace kestrelon
