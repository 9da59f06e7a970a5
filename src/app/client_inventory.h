#pragma once
// The Controller's memory of the PCs it has listed, kept beside the transfer
// journal as clients.json: per Client its name, the address and MAC address it
// last answered with, the Controller's own address it was heard on (and that
// network's broadcast address, for Wake-on-LAN), when it was last seen, the last
// image it received whole, and whether it is protected (a master PC that no Copy
// overwrites unless told to).
//
// The window and kestrelon-cli may run at the same time, and `clients protect`
// may run while they do: every change is a read, change and replace of the whole
// file under the folder's lock, so nobody's change is lost. A file that does not
// read as an inventory is never written over: the problem is reported and the
// file stays as it is.
//
// {"clients":[{"name":"ROOM12-PC04","address":"10.1.12.104","mac":"52:54:00:4b:00:04",
//   "interface":"10.1.12.1","broadcast":"10.1.12.255","last_seen":"2026-05-01T02:00:03Z",
//   "last_image":"/srv/images/room12.krn","last_image_at":"2026-05-01T02:31:40Z",
//   "protected":false}]}
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/mac_learner.h"
#include "platform/ipv4_address.h"
#include "platform/mac_address.h"

namespace kestrelon {

struct InventoryEntry {
  std::string name;
  Ipv4Address address;
  std::optional<MacAddress> mac;
  Ipv4Address interface_address;  // the Controller's address the Client was heard on
  Ipv4Address broadcast;          // that interface's broadcast address; zero when it had none
  std::int64_t last_seen = 0;     // wall-clock seconds since the epoch
  std::string last_image;         // the last image it received whole; empty: none yet
  std::int64_t last_image_at = 0;
  bool is_protected = false;
};

class ClientInventory {
 public:
  static constexpr const char* kFileName = "clients.json";
  // More entries than a Controller can list at once, yet a bound: forged
  // announces cannot grow the file without end.
  static constexpr std::size_t kMaxEntries = 4096;

  // An empty path: an inventory that keeps nothing (no home folder is known).
  explicit ClientInventory(std::filesystem::path file) : file_(std::move(file)) {}
  // The inventory beside the journal file `journal`; empty when that is empty.
  static std::filesystem::path beside(const std::filesystem::path& journal);

  const std::filesystem::path& file() const { return file_; }

  struct Contents {
    std::vector<InventoryEntry> entries;
    bool missing = false;  // no inventory yet
    std::string problem;   // why the file does not read; then `entries` is empty
  };
  Contents read() const;

  // Reads the entries, lets `change` change them and, when it returns true,
  // replaces the file, all under the folder's lock. Returns "" or what went
  // wrong (the file does not read, cannot be written); then nothing is written.
  std::string update(const std::function<bool(std::vector<InventoryEntry>&)>& change) const;

 private:
  std::filesystem::path file_;
};

// The index of the entry named `name` (letter case aside), or -1.
int find_entry(const std::vector<InventoryEntry>& entries, std::string_view name);

// What a sighting changed in the entries.
enum class SightingChange { none, last_seen, facts };
// Records that `seen` answered at `now`: its entry (found by name) takes the
// address, interface and, when known, the MAC address; a Client not yet known
// gets an entry. When the inventory is full, the entry seen longest ago that is
// not protected makes room.
SightingChange note_sighting(std::vector<InventoryEntry>& entries, const ListedClient& seen, std::int64_t now);

// The file's text for `entries` (`indent` -1: on one line), and the entries a text holds (nullopt and
// `problem` for a text that is not an inventory; entries that do not read are
// left out and counted in `skipped`).
std::string inventory_text(const std::vector<InventoryEntry>& entries, int indent = 1);
std::optional<std::vector<InventoryEntry>> parse_inventory(std::string_view text, std::string& problem,
                                                           int* skipped = nullptr);

// "2026-05-01T02:00:03Z" for wall-clock seconds, and back (nullopt for other text).
std::string utc_time_text(std::int64_t seconds);
std::optional<std::int64_t> parse_utc_time(std::string_view text);

}  // namespace kestrelon
