#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrelon {
namespace {

sockaddr_in make_address(Ipv4Address address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address.network_order();
  return sa;
}

int result(int rc) { return rc == 0 ? 0 : errno; }

}  // namespace

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : fd_(other.fd_.exchange(-1)), woken_(other.woken_.load()) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_.store(other.fd_.exchange(-1));
    woken_.store(other.woken_.load());
  }
  return *this;
}

int UdpSocket::open() {
  close();
  woken_.store(false);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  fd_.store(fd);
  return 0;
}

int UdpSocket::set_reuse_address(bool on) {
  const int v = on ? 1 : 0;
  return result(::setsockopt(fd(), SOL_SOCKET, SO_REUSEADDR, &v, sizeof v));
}

int UdpSocket::bind(Ipv4Address address, std::uint16_t port) {
  const sockaddr_in sa = make_address(address, port);
  return result(::bind(fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int UdpSocket::set_multicast_ttl(int ttl) {
  return result(::setsockopt(fd(), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl));
}

int UdpSocket::join_group(Ipv4Address group, Ipv4Address interface_address) {
  ip_mreq mreq{};
  mreq.imr_multiaddr.s_addr = group.network_order();
  mreq.imr_interface.s_addr = interface_address.network_order();
  return result(::setsockopt(fd(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq));
}

int UdpSocket::set_multicast_interface(Ipv4Address interface_address) {
  in_addr a{};
  a.s_addr = interface_address.network_order();
  return result(::setsockopt(fd(), IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a));
}

int UdpSocket::set_multicast_loop(bool on) {
  const unsigned char v = on ? 1 : 0;
  return result(::setsockopt(fd(), IPPROTO_IP, IP_MULTICAST_LOOP, &v, sizeof v));
}

int UdpSocket::set_receive_buffer(int bytes) {
  return result(::setsockopt(fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes));
}

int UdpSocket::set_send_buffer(int bytes) {
  return result(::setsockopt(fd(), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes));
}

int UdpSocket::set_nonblocking(bool on) {
  const int flags = ::fcntl(fd(), F_GETFL, 0);
  if (flags < 0) return errno;
  const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return result(::fcntl(fd(), F_SETFL, wanted));
}

ssize_t UdpSocket::send_to(std::span<const std::uint8_t> data, Ipv4Address to, std::uint16_t port,
                           int* error) const {
  const sockaddr_in sa = make_address(to, port);
  ssize_t n;
  do {
    n = ::sendto(fd(), data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && error) *error = errno;
  return n;
}

int UdpSocket::send_segments(std::span<const std::uint8_t> data, std::size_t segment, Ipv4Address to,
                             std::uint16_t port) const {
  if (segment == 0 || data.empty()) return 0;
  const std::size_t count = (data.size() + segment - 1) / segment;
  if (count > 1 && !no_segmentation_.load(std::memory_order_relaxed)) {
    sockaddr_in sa = make_address(to, port);
    iovec iov{const_cast<std::uint8_t*>(data.data()), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint16_t))] = {};
    msghdr message{};
    message.msg_name = &sa;
    message.msg_namelen = sizeof sa;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_UDP;
    c->cmsg_type = UDP_SEGMENT;
    c->cmsg_len = CMSG_LEN(sizeof(std::uint16_t));
    const auto size = static_cast<std::uint16_t>(segment);
    std::memcpy(CMSG_DATA(c), &size, sizeof size);
    ssize_t n;
    do {
      n = ::sendmsg(fd(), &message, 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(count);
    // A device without checksum offload, an old kernel, a path whose MTU is
    // smaller than a segment: the system cannot cut for us, now or later. A full
    // buffer is passing, and the datagrams go one by one this time only.
    if (errno == EIO || errno == EINVAL || errno == ENOPROTOOPT || errno == EOPNOTSUPP || errno == EMSGSIZE) {
      no_segmentation_.store(true, std::memory_order_relaxed);
    }
  }
  int sent = 0;
  for (std::size_t offset = 0; offset < data.size(); offset += segment) {
    if (send_to(data.subspan(offset, std::min(segment, data.size() - offset)), to, port) >= 0) ++sent;
  }
  return sent;
}

ReceiveResult UdpSocket::receive(std::span<std::uint8_t> buffer, bool wait) const {
  ReceiveResult r;
  for (;;) {
    if (woken_.load()) {
      r.status = ReceiveResult::Status::closed;
      return r;
    }
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    const ssize_t n = ::recvfrom(fd(), buffer.data(), buffer.size(), wait ? 0 : MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) {
      if (errno == EINTR) continue;
      r.status = woken_.load() ? ReceiveResult::Status::closed : ReceiveResult::Status::error;
      r.error = errno;
      return r;
    }
    // shutdown() makes a blocked receive return 0, like an empty datagram; the
    // woken flag tells the two apart.
    if (n == 0 && woken_.load()) {
      r.status = ReceiveResult::Status::closed;
      return r;
    }
    r.status = ReceiveResult::Status::datagram;
    r.length = static_cast<std::size_t>(n);
    r.from = Ipv4Address::from_network_order(from.sin_addr.s_addr);
    r.from_port = ntohs(from.sin_port);
    return r;
  }
}

void UdpSocket::wake() {
  woken_.store(true);
  const int fd = fd_.load();
  // On an unconnected UDP socket shutdown() reports ENOTCONN but still marks the
  // socket shut and wakes every blocked receiver.
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void UdpSocket::close() {
  const int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

}  // namespace kestrelon
