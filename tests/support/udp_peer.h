#pragma once
// A plain UDP socket standing in for a Client in tests: sends raw datagrams and
// waits for replies with a time limit.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/ipv4_address.h"
#include "platform/udp_socket.h"

namespace kestrelon::test {

struct Received {
  std::vector<std::uint8_t> bytes;
  Ipv4Address from;
  std::uint16_t from_port = 0;
};

class UdpPeer {
 public:
  // Binds `address:port`; with `group` set, binds the group address instead and
  // joins it, so only datagrams to that group arrive.
  UdpPeer(Ipv4Address address, std::uint16_t port, std::optional<Ipv4Address> group = std::nullopt);

  bool ok() const { return ok_; }
  void send(std::span<const std::uint8_t> bytes, Ipv4Address to, std::uint16_t port);
  std::optional<Received> receive(int timeout_ms);
  // Everything that arrives within `quiet_ms` of the previous datagram.
  std::vector<Received> receive_all(int quiet_ms);
  UdpSocket& socket() { return socket_; }

 private:
  UdpSocket socket_;
  bool ok_ = false;
};

}  // namespace kestrelon::test
