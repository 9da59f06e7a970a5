#pragma once
// A UDP socket allowed to send to broadcast addresses, bound to one local
// address so that its datagrams leave by that address's interface. Wake-on-LAN
// uses it; the protocol's own sockets never broadcast.
#include <cstdint>
#include <span>

#include "platform/ipv4_address.h"

namespace kestrelon {

class BroadcastSender {
 public:
  // Binds to `local` (zero: any address, the routing table chooses). error() is
  // the socket layer's error number when that failed, else 0.
  explicit BroadcastSender(Ipv4Address local = Ipv4Address());
  ~BroadcastSender();
  BroadcastSender(const BroadcastSender&) = delete;
  BroadcastSender& operator=(const BroadcastSender&) = delete;

  int error() const { return error_; }
  // Sends one datagram; 0 or the error number.
  int send(std::span<const std::uint8_t> datagram, Ipv4Address to, std::uint16_t port) const;

 private:
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace kestrelon
