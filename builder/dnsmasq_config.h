#pragma once
// The configuration serve gives Debian's dnsmasq: TFTP of the boot folder, and
// either proxy DHCP (the network's own DHCP server keeps giving addresses;
// dnsmasq adds only the boot information) or, on an isolated imaging network,
// a DHCP server of its own. PXE firmware gets iPXE (undionly.kpxe for BIOS,
// snponly.efi for UEFI); iPXE, asking again, gets the menu boot.ipxe.
#include <filesystem>
#include <optional>
#include <string>

#include "interface_network.h"

namespace kestrelon::builder {

struct DhcpRange {
  Ipv4Address first;
  Ipv4Address last;
};

struct DnsmasqSettings {
  std::string interface;
  InterfaceNetwork network;
  std::optional<DhcpRange> range;  // none: proxy DHCP
  std::filesystem::path tftp_root;
  std::filesystem::path lease_file;
};

std::string dnsmasq_config(const DnsmasqSettings& settings);

// "A,B" with A <= B; nullopt for anything else.
std::optional<DhcpRange> parse_dhcp_range(const std::string& text);

}  // namespace kestrelon::builder
