#include "dnsmasq_config.h"

namespace kestrelon::builder {

std::optional<DhcpRange> parse_dhcp_range(const std::string& text) {
  const auto comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const auto first = Ipv4Address::parse(text.substr(0, comma));
  const auto last = Ipv4Address::parse(text.substr(comma + 1));
  if (!first || !last || last->value() < first->value()) return std::nullopt;
  return DhcpRange{*first, *last};
}

std::string dnsmasq_config(const DnsmasqSettings& s) {
  std::string c =
      "# Written by kestrelon-builder serve for this run only.\n"
      "port=0\n"  // no DNS
      "interface=" + s.interface + "\n" +
      "bind-interfaces\n"
      "log-facility=-\n"
      "enable-tftp\n"
      "tftp-root=" + s.tftp_root.string() + "\n" +
      "dhcp-leasefile=" + s.lease_file.string() + "\n" +
      // iPXE says who it is in option 175; firmware's PXE does not.
      "dhcp-match=set:ipxe,175\n"
      "dhcp-match=set:efi64,option:client-arch,7\n"
      "dhcp-match=set:efi64,option:client-arch,9\n";
  if (s.range) {
    c += "dhcp-range=" + s.range->first.text() + "," + s.range->last.text() + ",12h\n"
         "dhcp-authoritative\n"
         // This machine is no gateway: the PCs get no default route (and so
         // no route for multicast either; the Client needs none).
         "dhcp-option=option:router\n"
         "dhcp-boot=tag:!ipxe,tag:!efi64,undionly.kpxe\n"
         "dhcp-boot=tag:!ipxe,tag:efi64,snponly.efi\n"
         "dhcp-boot=tag:ipxe,boot.ipxe\n";
  } else {
    c += "dhcp-range=" + s.network.network().text() + ",proxy\n"
         "pxe-prompt=\"Kestrelon\",0\n"
         "pxe-service=tag:!ipxe,x86PC,\"Kestrelon Client\",undionly.kpxe\n"
         "pxe-service=tag:!ipxe,X86-64_EFI,\"Kestrelon Client\",snponly.efi\n"
         "pxe-service=tag:!ipxe,BC_EFI,\"Kestrelon Client\",snponly.efi\n"
         "pxe-service=tag:ipxe,x86PC,\"Kestrelon menu\",boot.ipxe\n"
         "pxe-service=tag:ipxe,X86-64_EFI,\"Kestrelon menu\",boot.ipxe\n"
         "pxe-service=tag:ipxe,BC_EFI,\"Kestrelon menu\",boot.ipxe\n";
  }
  return c;
}

}  // namespace kestrelon::builder
