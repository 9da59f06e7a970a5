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
#include "app/controller_core.h"
#include "commands/copy_flow.h"
#include "net/mac_learner.h"

namespace kestrelon {

inline constexpr const char* kProtectedReason = "protected: not overwritten unless asked (--include-protected)";

// The Clients of `targets` that are protected, in order. `listed` is every
// Client listed now (to tell a MAC address shared by several).
std::vector<ListedClient> protected_targets(const std::vector<ListedClient>& targets,
                                            const std::vector<ListedClient>& listed,
                                            const std::vector<InventoryEntry>& inventory);

// The protected Clients among the main client list's checked rows.
std::vector<ListedClient> protected_checked(ControllerCore& core);
// Unchecks their rows and returns them as left out, with kProtectedReason.
std::vector<LeftOutClient> leave_out_protected(ControllerCore& core, const std::vector<ListedClient>& clients);

// The window's question before a Copy (or a Schedule) onto protected Clients,
// naming them: Yes copies onto them too, No leaves them out, Cancel copies nothing.
std::string protected_question(const std::vector<ListedClient>& clients);

// "MASTER-01 (10.1.12.10), MASTER-02 (10.1.12.11)".
std::string client_list_text(const std::vector<ListedClient>& clients);

}  // namespace kestrelon
