#pragma once
// Reading many datagrams from a socket in one system call (recvmmsg). On a socket
// where the system joins consecutive datagrams of one sender into one message
// (UDP_GRO: the message then holds datagrams of one size end to end, and says
// that size), each datagram is cut back out, so callers see exactly the
// datagrams that were sent. The Client's event loop reads the copy data socket
// through one batch shared by all its Clients, since copy blocks come in bursts.
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon::client {

// Asks the system to join consecutive datagrams arriving on `fd`. False where it
// cannot (the datagrams then arrive one per message, which works as well).
bool enable_datagram_joining(int fd);

class DatagramBatch {
 public:
  static constexpr int kMessages = 16;
  static constexpr std::size_t kMessageBytes = 65536;  // the largest joined message

  DatagramBatch();
  DatagramBatch(const DatagramBatch&) = delete;
  DatagramBatch& operator=(const DatagramBatch&) = delete;

  // Reads the messages waiting on `fd` without blocking, at most kMessages.
  // Returns how many (0 when none waits or the read failed).
  int receive(int fd);

  // Calls `f` with each datagram of the last receive and its source address, in
  // arrival order.
  template <class F>
  void for_each(F&& f) const {
    for (int m = 0; m < received_; ++m) {
      const auto i = static_cast<std::size_t>(m);
      const std::span<const std::uint8_t> message(buffer_.data() + i * kMessageBytes, headers_[i].msg_len);
      const Ipv4Address from = Ipv4Address::from_network_order(sources_[i].sin_addr.s_addr);
      const std::size_t step = segment_[i] > 0 ? segment_[i] : message.size();
      if (message.empty()) f(message, from);
      for (std::size_t at = 0; at < message.size(); at += step) {
        f(message.subspan(at, std::min(step, message.size() - at)), from);
      }
    }
  }

 private:
  static constexpr std::size_t kControlBytes = 64;
  std::vector<std::uint8_t> buffer_;
  std::array<mmsghdr, kMessages> headers_{};
  std::array<iovec, kMessages> vectors_{};
  std::array<std::array<std::uint8_t, kControlBytes>, kMessages> control_{};
  std::array<sockaddr_in, kMessages> sources_{};
  std::array<std::size_t, kMessages> segment_{};  // the joined datagrams' size, 0 = one datagram
  int received_ = 0;
};

}  // namespace kestrelon::client
