#pragma once
// Wake-on-LAN: the magic packet that a switched-off PC's network card watches
// for (six 0xFF bytes, then the card's MAC address sixteen times), sent as a UDP
// broadcast to the discard port. It is not part of the Controller's protocol and
// carries nothing else.
#include <array>
#include <cstdint>

#include "platform/ipv4_address.h"
#include "platform/mac_address.h"

namespace kestrelon {

inline constexpr std::uint16_t kWakePort = 9;
inline constexpr std::size_t kMagicPacketSize = 6 + 16 * 6;

using MagicPacket = std::array<std::uint8_t, kMagicPacketSize>;

MagicPacket magic_packet(const MacAddress& mac);

// Sends the magic packet for `mac` to `to` (a broadcast address), leaving by the
// interface of the local address `from` (zero: as the routing table says).
// Returns 0 or the socket layer's error number.
int send_magic_packet(const MacAddress& mac, Ipv4Address from, Ipv4Address to);

}  // namespace kestrelon
