#pragma once
// The PCs with a transfer waiting, as the Controller tells the boot service
// (`kestrelon-builder serve`), which boots those PCs into the Client and every
// other PC from its own disk. Nothing of this goes over the network: the two
// share a folder on this machine, $KESTRELON_PENDING_DIR or else
// /run/kestrelon/pending, which the boot service makes.
//
// Each Controller run that marks PCs has two files there, named after it:
//   ID.lock     empty; the run holds its lock for as long as it lives (OwnerLock)
//   ID.pending  the PCs, replaced whole at each change, one per line:
//                 # kestrelon pending transfers: MAC UNTIL NAME
//                 52:54:00:4b:00:01 0 ROOM12-PC01
//                 52:54:00:4b:00:02 1767225600 ROOM12-PC02
//               UNTIL is 0 for "while this run lasts", else the wall-clock second
//               after which the mark no longer counts.
// A reader counts an ID.pending only while ID.lock is held: a Controller that
// crashed or was killed leaves no PC pending, and the reader removes its files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mac_address.h"
#include "platform/owner_lock.h"

namespace kestrelon {

struct PendingPc {
  MacAddress mac;
  std::int64_t until = 0;  // 0: while the marking run lasts
  std::string name;        // for the boot service's log

  bool operator==(const PendingPc&) const = default;
};

// The writer: one per Controller run, used on one thread.
class PendingTransfers {
 public:
  static constexpr const char* kDefaultFolder = "/run/kestrelon/pending";
  // $KESTRELON_PENDING_DIR when set, else kDefaultFolder.
  static std::filesystem::path default_folder();

  // An empty folder: marks nothing (a front end that has no boot service).
  explicit PendingTransfers(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~PendingTransfers() { clear(); }
  PendingTransfers(const PendingTransfers&) = delete;
  PendingTransfers& operator=(const PendingTransfers&) = delete;

  const std::filesystem::path& folder() const { return folder_; }

  // Marks the PCs pending; a PC marked already takes the new mark. Returns "" or
  // why the boot service cannot be told (the folder does not exist: no boot
  // service runs here; or it cannot be written).
  std::string mark(const std::vector<PendingPc>& pcs);
  // Takes the marks of these PCs away (a Client whose copy has ended).
  std::string unmark(const std::vector<MacAddress>& macs);
  // Takes every mark away and removes this run's files.
  void clear();
  const std::vector<PendingPc>& marked() const { return marked_; }

 private:
  std::string write();

  std::filesystem::path folder_;
  OwnerLock lock_;
  std::string id_;
  std::vector<PendingPc> marked_;
};

// The reader: every PC pending now (`now` in wall-clock seconds) in `folder`,
// from the files of runs that still hold their lock; a MAC address marked by
// several runs is listed once, with the longest mark. With `remove_stale` the
// files of runs that have ended are removed.
std::vector<PendingPc> read_pending(const std::filesystem::path& folder, std::int64_t now, bool remove_stale);

std::string pending_text(const std::vector<PendingPc>& pcs);
// The PCs of a file's text; lines that do not read are left out.
std::vector<PendingPc> parse_pending(std::string_view text);

}  // namespace kestrelon
