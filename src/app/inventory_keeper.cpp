#include "app/inventory_keeper.h"

#include <algorithm>

namespace kestrelon {

InventoryKeeper::InventoryKeeper(const ClientInventory& inventory, MacLearner& learner)
    : inventory_(inventory), learner_(learner) {}

void InventoryKeeper::note(std::int64_t now, bool at_once, std::optional<std::chrono::milliseconds> lock_wait) {
  if (!learner_.pass(at_once, lock_wait) || inventory_.file().empty()) return;
  if (!read_) {
    known_ = inventory_.read().entries;
    read_ = true;
  }
  bool facts = false;
  for (const ListedClient& seen : learner_.listed()) {
    const SightingChange change = note_sighting(known_, seen, now);
    if (change == SightingChange::none) continue;
    facts = facts || change == SightingChange::facts;
    // The latest sighting of a Client replaces an earlier unwritten one.
    std::erase_if(unwritten_, [&](const Seen& u) { return u.client.name == seen.name; });
    unwritten_.push_back({seen, now});
    if (unwritten_since_ == 0) unwritten_since_ = now;
  }
  if (facts || (unwritten_since_ != 0 && now - unwritten_since_ >= kLastSeenWriteSeconds)) write(now);
}

void InventoryKeeper::flush(std::int64_t now, std::chrono::milliseconds lock_wait) {
  note(now, true, lock_wait);
  if (!unwritten_.empty()) write(now);
}

void InventoryKeeper::write(std::int64_t now) {
  problem_ = inventory_.update([&](std::vector<InventoryEntry>& entries) {
    for (const Seen& seen : unwritten_) note_sighting(entries, seen.client, seen.at);
    known_ = entries;
    return true;
  });
  // After a failure the sightings are kept and tried again with the next change.
  if (problem_.empty()) {
    unwritten_.clear();
    unwritten_since_ = 0;
  } else {
    unwritten_since_ = now;
  }
}

}  // namespace kestrelon
