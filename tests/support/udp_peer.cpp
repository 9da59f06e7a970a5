#include "support/udp_peer.h"

#include <poll.h>

#include <array>

namespace kestrelon::test {

UdpPeer::UdpPeer(Ipv4Address address, std::uint16_t port, std::optional<Ipv4Address> group) {
  if (socket_.open() != 0) return;
  socket_.set_reuse_address(true);
  if (socket_.bind(group ? *group : address, port) != 0) return;
  if (group && socket_.join_group(*group, address) != 0) return;
  if (socket_.set_multicast_interface(address) != 0 && !group) return;
  ok_ = true;
}

void UdpPeer::send(std::span<const std::uint8_t> bytes, Ipv4Address to, std::uint16_t port) {
  socket_.send_to(bytes, to, port);
}

std::optional<Received> UdpPeer::receive(int timeout_ms) {
  pollfd p{socket_.fd(), POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0) return std::nullopt;
  std::array<std::uint8_t, 2048> buf;
  const ReceiveResult r = socket_.receive(buf);
  if (r.status != ReceiveResult::Status::datagram) return std::nullopt;
  return Received{std::vector<std::uint8_t>(buf.begin(), buf.begin() + static_cast<long>(r.length)), r.from,
                  r.from_port};
}

std::vector<Received> UdpPeer::receive_all(int quiet_ms) {
  std::vector<Received> all;
  while (auto r = receive(quiet_ms)) all.push_back(std::move(*r));
  return all;
}

}  // namespace kestrelon::test
