#pragma once
// A UDP/IPv4 socket with the few options the protocol needs. Every setter returns
// 0 or the socket layer's error number, which the callers put into their messages.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <span>

#include "platform/ipv4_address.h"

namespace kestrelon {

struct ReceiveResult {
  enum class Status { datagram, closed, error };
  Status status = Status::error;
  std::size_t length = 0;  // bytes received; 0 for an empty datagram
  Ipv4Address from;
  std::uint16_t from_port = 0;
  int error = 0;
};

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Creates the socket; returns 0 or the error number.
  int open();
  bool is_open() const { return fd_.load() >= 0; }
  int fd() const { return fd_.load(); }

  int set_reuse_address(bool on);
  int bind(Ipv4Address address, std::uint16_t port);
  int set_multicast_ttl(int ttl);
  int join_group(Ipv4Address group, Ipv4Address interface_address = Ipv4Address());
  int set_multicast_interface(Ipv4Address interface_address);
  int set_multicast_loop(bool on);
  int set_receive_buffer(int bytes);
  int set_send_buffer(int bytes);
  int set_nonblocking(bool on);

  // Sends one datagram; returns the byte count, or -1 with the error in *error.
  ssize_t send_to(std::span<const std::uint8_t> data, Ipv4Address to, std::uint16_t port,
                  int* error = nullptr) const;

  // Sends `data` as consecutive datagrams of `segment` bytes (the last one may be
  // shorter). Where the system can cut them itself (UDP segmentation offload) they
  // leave in one call; otherwise, and after the first time the system refuses that,
  // one call each. The datagrams on the wire are the same either way. Returns how
  // many were handed to the system.
  int send_segments(std::span<const std::uint8_t> data, std::size_t segment, Ipv4Address to,
                    std::uint16_t port) const;

  // Blocks until a datagram arrives or another thread calls wake(). A datagram
  // larger than the buffer is cut to the buffer's size. With `wait` false it
  // returns at once: `error` with EAGAIN when no datagram is waiting.
  ReceiveResult receive(std::span<std::uint8_t> buffer, bool wait = true) const;

  // Wakes a thread blocked in receive() and makes every later receive report
  // `closed`. Safe to call from any thread while the socket is open.
  void wake();

  // Closes the descriptor. Call wake() first and let the receiver finish when
  // another thread may be blocked on it.
  void close();

 private:
  std::atomic<int> fd_{-1};
  std::atomic<bool> woken_{false};
  mutable std::atomic<bool> no_segmentation_{false};  // the system refused a segmented send
};

}  // namespace kestrelon
