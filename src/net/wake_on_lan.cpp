#include "net/wake_on_lan.h"

#include "platform/broadcast_sender.h"

namespace kestrelon {

MagicPacket magic_packet(const MacAddress& mac) {
  MagicPacket packet{};
  std::size_t i = 0;
  for (; i < 6; ++i) packet[i] = 0xFF;
  for (int repeat = 0; repeat < 16; ++repeat)
    for (std::uint8_t b : mac.bytes()) packet[i++] = b;
  return packet;
}

int send_magic_packet(const MacAddress& mac, Ipv4Address from, Ipv4Address to) {
  const BroadcastSender sender(from);
  if (sender.error() != 0) return sender.error();
  return sender.send(magic_packet(mac), to, kWakePort);
}

}  // namespace kestrelon
