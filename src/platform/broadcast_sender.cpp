#include "platform/broadcast_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kestrelon {

BroadcastSender::BroadcastSender(Ipv4Address local) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  const int on = 1;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = local.network_order();
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      ::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
    error_ = errno;
    ::close(fd_);
    fd_ = -1;
  }
}

BroadcastSender::~BroadcastSender() {
  if (fd_ >= 0) ::close(fd_);
}

int BroadcastSender::send(std::span<const std::uint8_t> datagram, Ipv4Address to, std::uint16_t port) const {
  if (fd_ < 0) return error_ != 0 ? error_ : EBADF;
  sockaddr_in dest{};
  dest.sin_family = AF_INET;
  dest.sin_port = htons(port);
  dest.sin_addr.s_addr = to.network_order();
  const ssize_t n =
      ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
  if (n < 0) return errno;
  return static_cast<std::size_t>(n) == datagram.size() ? 0 : EMSGSIZE;
}

}  // namespace kestrelon
