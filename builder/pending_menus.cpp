#include "pending_menus.h"

#include <sys/stat.h>

#include <fstream>
#include <set>

namespace kestrelon::builder {

namespace fs = std::filesystem;

std::string pending_script_name(const MacAddress& mac) { return "pc-" + mac.hyphen_text() + ".ipxe"; }

std::string pending_pc_script(const PendingPc& pc) {
  // A name off a PC's network is printed by iPXE; keep it to plain characters.
  std::string name;
  for (char c : pc.name) name += (c >= 0x20 && c < 0x7F && c != '$') ? c : '?';
  return "#!ipxe\n"
         "# " + name + " has a transfer waiting: into the Client without asking.\n"
         "echo Kestrelon: a transfer is waiting for this PC\n"
         "set kestrelon-default client\n"
         "set kestrelon-timeout 0\n";
}

PendingMenus::PendingMenus(fs::path tftp_root, fs::path pending_folder)
    : root_(std::move(tftp_root)), folder_(std::move(pending_folder)) {
  std::error_code ec;
  if (!fs::is_directory(folder_, ec)) {
    fs::create_directories(folder_, ec);
    if (ec) {
      problem_ = "cannot make " + folder_.string() + ": " + ec.message();
      return;
    }
    ::chmod(folder_.c_str(), 01777);
  }
}

std::vector<std::string> PendingMenus::sync(std::int64_t now) {
  std::vector<std::string> changes;
  if (!problem_.empty()) return changes;
  std::set<MacAddress> now_pending;
  for (const PendingPc& pc : read_pending(folder_, now, true)) {
    now_pending.insert(pc.mac);
    if (written_.count(pc.mac)) continue;
    const fs::path script = root_ / pending_script_name(pc.mac);
    const fs::path part = script.string() + ".part";
    {
      std::ofstream out(part);
      out << pending_pc_script(pc);
      if (!out) continue;
    }
    std::error_code ec;
    fs::rename(part, script, ec);
    if (ec) continue;
    written_[pc.mac] = pc.name;
    changes.push_back("PC " + pc.mac.text() + (pc.name.empty() ? "" : " (" + pc.name + ")") +
                      " has a transfer waiting: it boots into the Client");
  }
  for (auto it = written_.begin(); it != written_.end();) {
    if (now_pending.count(it->first)) {
      ++it;
      continue;
    }
    std::error_code ec;
    fs::remove(root_ / pending_script_name(it->first), ec);
    changes.push_back("PC " + it->first.text() + (it->second.empty() ? "" : " (" + it->second + ")") +
                      " has no transfer waiting any more: the room's default applies");
    it = written_.erase(it);
  }
  return changes;
}

}  // namespace kestrelon::builder
