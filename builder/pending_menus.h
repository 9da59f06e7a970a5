#pragma once
// The per-PC choice of serve's boot menu: a PC with a transfer waiting (marked
// pending by a Controller on this machine, app/pending_transfers.h) boots into
// the Client at once; every other PC gets the room's default (its own disk,
// unless serve was told otherwise). The menu fetches pc-MAC.ipxe before it
// shows; this keeps one such script in serve's TFTP folder for each pending PC
// and removes it as soon as the PC is no longer pending. serve calls sync()
// about once a second.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/pending_transfers.h"

namespace kestrelon::builder {

// The script that boots one PC into the Client without waiting.
std::string pending_pc_script(const PendingPc& pc);
// "pc-52-54-00-4b-00-01.ipxe": the name the menu asks for.
std::string pending_script_name(const MacAddress& mac);

class PendingMenus {
 public:
  // Makes `pending_folder` (sticky and writable by every local user, as /tmp is:
  // a Controller may run as any user) when it is missing.
  PendingMenus(std::filesystem::path tftp_root, std::filesystem::path pending_folder);

  // Why the folder cannot be watched ("" when it can).
  const std::string& problem() const { return problem_; }
  // Brings the scripts in line with the PCs pending at `now` (wall-clock
  // seconds); returns what changed, for serve's log.
  std::vector<std::string> sync(std::int64_t now);

 private:
  std::filesystem::path root_;
  std::filesystem::path folder_;
  std::string problem_;
  std::map<MacAddress, std::string> written_;  // MAC -> name, as written
};

}  // namespace kestrelon::builder
