#include "commands/protected_targets.h"

#include <algorithm>

#include "model/client_row_text.h"

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

std::vector<ListedClient> protected_checked(ControllerCore& core) {
  std::vector<ListedClient> checked;
  const CheckListModel& rows = core.main_client_list().rows();
  MacLearner& learner = core.mac_learner();
  learner.pass(true);
  for (int r = 0; r < rows.row_count(); ++r) {
    if (rows.check_state(r) != kChecked) continue;
    const auto address = address_from_padded_text(rows.cell(r, 1));
    ListedClient c{.name = rows.cell(r, 0), .address = address.value_or(Ipv4Address())};
    if (address) c.mac = learner.mac_of(*address);
    checked.push_back(std::move(c));
  }
  return protected_targets(checked, learner.listed(), core.inventory().read().entries);
}

std::vector<LeftOutClient> leave_out_protected(ControllerCore& core, const std::vector<ListedClient>& clients) {
  CheckListModel& rows = core.main_client_list().rows();
  std::vector<LeftOutClient> out;
  for (const ListedClient& p : clients) {
    for (int r = 0; r < rows.row_count(); ++r)
      if (rows.check_state(r) == kChecked && rows.cell(r, 1) == p.address.padded_text()) rows.uncheck(r);
    out.push_back({p.name, p.address, kProtectedReason});
  }
  return out;
}

std::string protected_question(const std::vector<ListedClient>& clients) {
  return "Protected Clients are checked: " + client_list_text(clients) +
         ".\nA protected Client (a room's master PC) is overwritten only when you say so.\n\n"
         "Copy onto them too?\nYes: copy onto them as well. No: leave them out. Cancel: copy nothing.";
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
