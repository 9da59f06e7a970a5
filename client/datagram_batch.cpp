#include "datagram_batch.h"

#include <netinet/in.h>
#include <netinet/udp.h>

#include <cerrno>
#include <cstring>

namespace kestrelon::client {

bool enable_datagram_joining(int fd) {
  const int on = 1;
  return ::setsockopt(fd, SOL_UDP, UDP_GRO, &on, sizeof on) == 0;
}

DatagramBatch::DatagramBatch() : buffer_(kMessages * kMessageBytes) {}

int DatagramBatch::receive(int fd) {
  for (std::size_t i = 0; i < kMessages; ++i) {
    vectors_[i] = iovec{buffer_.data() + i * kMessageBytes, kMessageBytes};
    msghdr& h = headers_[i].msg_hdr;
    h = msghdr{};
    sources_[i] = sockaddr_in{};
    h.msg_name = &sources_[i];
    h.msg_namelen = sizeof(sockaddr_in);
    h.msg_iov = &vectors_[i];
    h.msg_iovlen = 1;
    h.msg_control = control_[i].data();
    h.msg_controllen = control_[i].size();
    headers_[i].msg_len = 0;
  }
  int n;
  do {
    n = ::recvmmsg(fd, headers_.data(), kMessages, MSG_DONTWAIT, nullptr);
  } while (n < 0 && errno == EINTR);
  received_ = n < 0 ? 0 : n;
  for (int m = 0; m < received_; ++m) {
    const auto i = static_cast<std::size_t>(m);
    segment_[i] = 0;
    msghdr& h = headers_[i].msg_hdr;
    for (cmsghdr* c = CMSG_FIRSTHDR(&h); c; c = CMSG_NXTHDR(&h, c)) {
      if (c->cmsg_level == SOL_UDP && c->cmsg_type == UDP_GRO) {
        int size = 0;
        std::memcpy(&size, CMSG_DATA(c), sizeof size);
        if (size > 0) segment_[i] = static_cast<std::size_t>(size);
      }
    }
  }
  return received_;
}

}  // namespace kestrelon::client
