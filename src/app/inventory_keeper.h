#pragma once
// Keeps the Client inventory up to date while the Controller runs: after each
// pass of the MAC learner (at most once a second, from the idle pass) it notes
// every listed Client, and writes the file at once when a fact changed (a new
// Client, a new address or MAC address) and otherwise, for the times last seen,
// at most every five minutes and at shutdown. A file that cannot be read or
// written is left alone; problem() says why, for the front ends to show.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "net/mac_learner.h"

namespace kestrelon {

class InventoryKeeper {
 public:
  static constexpr std::int64_t kLastSeenWriteSeconds = 300;

  InventoryKeeper(const ClientInventory& inventory, MacLearner& learner);

  // The idle pass, with the wall clock in seconds. A client table lock held
  // now (by this very thread, in a modal run of the drive dialog) skips it.
  void idle(std::int64_t now) { note(now, false, std::chrono::milliseconds(0)); }
  // Looks at the listed Clients once more (unless the client table lock stays
  // held for `lock_wait`) and writes what is still unwritten (shutdown: a short
  // run may end within a second of listing its Clients).
  void flush(std::int64_t now, std::chrono::milliseconds lock_wait);

  const ClientInventory& inventory() const { return inventory_; }
  MacLearner& learner() { return learner_; }
  // The last write's problem; empty when it went well.
  const std::string& problem() const { return problem_; }

 private:
  void note(std::int64_t now, bool at_once, std::optional<std::chrono::milliseconds> lock_wait = std::nullopt);
  void write(std::int64_t now);

  const ClientInventory& inventory_;
  MacLearner& learner_;
  std::vector<InventoryEntry> known_;  // as last read or written
  bool read_ = false;
  struct Seen {
    ListedClient client;
    std::int64_t at = 0;
  };
  std::vector<Seen> unwritten_;  // seen since the last write, each at its latest
  std::int64_t unwritten_since_ = 0;
  std::string problem_;
};

}  // namespace kestrelon
