#include "serve_log.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace kestrelon::builder {
namespace {

std::vector<std::string> words_of(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool is_mac(const std::string& w) { return w.size() == 17 && w[2] == ':' && w[14] == ':'; }

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

std::string neighbour_mac(const std::string& address) {
  std::ifstream arp("/proc/net/arp");
  std::string line;
  std::getline(arp, line);  // heading
  while (std::getline(arp, line)) {
    const auto w = words_of(line);
    if (w.size() >= 4 && w[0] == address && w[3] != "00:00:00:00:00:00") return w[3];
  }
  return {};
}

ServeLog::ServeLog(std::function<std::string(const std::string&)> mac_of) : mac_of_(std::move(mac_of)) {}

std::string ServeLog::pc(const std::string& address) {
  std::string mac;
  if (const auto k = known_.find(address); k != known_.end()) {
    mac = k->second;
  } else if (mac_of_) {
    mac = mac_of_(address);
  }
  return "PC " + (mac.empty() ? std::string("?") : mac) + " (" + address + ")";
}

std::optional<std::string> ServeLog::translate(const std::string& line) {
  // "dnsmasq-dhcp[42]: DHCPACK(br0) 10.48.0.50 52:54:00:12:34:56" and the like.
  const auto colon = line.find("]: ");
  if (line.rfind("dnsmasq", 0) != 0 || colon == std::string::npos) {
    return line.empty() ? std::nullopt : std::optional<std::string>("dnsmasq: " + line);
  }
  const std::string source = line.substr(0, line.find('['));
  const std::string message = line.substr(colon + 3);
  const auto w = words_of(message);
  if (w.empty()) return std::nullopt;

  if (source == "dnsmasq-dhcp") {
    if (w[0].rfind("DHCPACK(", 0) == 0 && w.size() >= 3 && is_mac(w[2])) {
      known_[w[1]] = w[2];
      return pc(w[1]) + " got its address";
    }
    // Proxy DHCP: "PXE(br0) 52:54:00:12:34:56 proxy" and, from the boot
    // service, "PXE(br0) 10.48.0.50 52:54:00:12:34:56 undionly.kpxe".
    if (w[0].rfind("PXE(", 0) == 0 && w.size() >= 3) {
      if (is_mac(w[1]) && w[2] == "proxy") return "PC " + w[1] + " asked for network boot (proxy DHCP)";
      if (is_mac(w[2])) {
        known_[w[1]] = w[2];
        return pc(w[1]) + " was offered " + w.back();
      }
    }
    return std::nullopt;
  }
  if (source == "dnsmasq-tftp") {
    // "sent /run/.../initrd.img to 10.48.0.50"
    if (w[0] == "sent" && w.size() >= 4 && w[2] == "to") return pc(w[3]) + " loaded " + base_name(w[1]);
    // "file /run/.../x not found for 10.48.0.50" (older: without " for ...")
    if (w[0] == "file" && w.size() >= 4 && w[2] == "not" && w[3] == "found") {
      const std::string file = base_name(w[1]);
      // pc-MAC.ipxe is looked for at every boot; most PCs have none.
      if (file.rfind("pc-", 0) == 0) return std::nullopt;
      const std::string who = w.size() >= 6 ? pc(w[5]) : std::string("a PC");
      return who + " asked for " + file + ", which is not there";
    }
    if (contains(message, "failed") || contains(message, "cannot")) return "dnsmasq: " + message;
    return std::nullopt;
  }
  if (contains(message, "warning") || contains(message, "failed") || contains(message, "FAILED") ||
      contains(message, "cannot") || contains(message, "error")) {
    return "dnsmasq: " + message;
  }
  return std::nullopt;
}

std::string ServeLog::explain_start_failure(const std::string& output, const std::string& interface) {
  const bool in_use = contains(output, "in use");
  if (in_use && (contains(output, "DHCP") || contains(output, "port 67"))) {
    return "port 67 (DHCP) is already taken by another DHCP server on this machine; stop it (ss -ulpn "
           "'sport = 67' shows which) or serve on another machine";
  }
  if (in_use && (contains(output, "TFTP") || contains(output, "port 69"))) {
    return "port 69 (TFTP) is already taken by another TFTP server on this machine; stop it (ss -ulpn "
           "'sport = 69' shows which)";
  }
  if (in_use && contains(output, "4011")) {
    return "port 4011 (PXE boot service) is already taken by another PXE server on this machine; stop it";
  }
  if (contains(output, "unknown interface") || contains(output, "no such device")) {
    return "dnsmasq cannot use the interface " + interface;
  }
  std::string words = output;
  while (!words.empty() && words.back() == '\n') words.pop_back();
  return "dnsmasq ended at its start: " + words;
}

}  // namespace kestrelon::builder
