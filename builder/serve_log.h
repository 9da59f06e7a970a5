#pragma once
// serve's account of the room booting: dnsmasq's log lines turned into one line
// per event that says which PC (MAC address, IP address) got an address or
// which boot file it loaded. Routine chatter is left out; warnings and errors
// pass through.
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace kestrelon::builder {

class ServeLog {
 public:
  // `mac_of` answers for addresses dnsmasq did not give out itself (proxy DHCP):
  // the MAC address this machine's neighbour table holds for them, or "".
  explicit ServeLog(std::function<std::string(const std::string& address)> mac_of);

  // The line to show for one of dnsmasq's lines, without time stamp; nullopt
  // when it tells the administrator nothing.
  std::optional<std::string> translate(const std::string& line);

  // Why dnsmasq could not start, in the administrator's terms (a port already
  // taken by another DHCP or TFTP server), from everything it said.
  static std::string explain_start_failure(const std::string& output, const std::string& interface);

 private:
  std::string pc(const std::string& address);

  std::function<std::string(const std::string&)> mac_of_;
  std::map<std::string, std::string> known_;  // address -> MAC, from DHCP
};

// The MAC address /proc/net/arp holds for `address`, or "".
std::string neighbour_mac(const std::string& address);

}  // namespace kestrelon::builder
