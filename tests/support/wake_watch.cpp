#include "support/wake_watch.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace kestrelon::test {

std::optional<MacAddress> find_magic_packet(const std::uint8_t* frame, std::size_t length) {
  constexpr std::size_t kSize = 6 + 16 * 6;
  for (std::size_t at = 0; at + kSize <= length; ++at) {
    if (!std::all_of(frame + at, frame + at + 6, [](std::uint8_t b) { return b == 0xFF; })) continue;
    MacAddress::Bytes mac{};
    std::copy(frame + at + 6, frame + at + 12, mac.begin());
    bool repeated = true;
    for (int r = 1; r < 16 && repeated; ++r) repeated = std::equal(mac.begin(), mac.end(), frame + at + 6 + r * 6);
    if (repeated && mac != MacAddress::Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) return MacAddress(mac);
  }
  return std::nullopt;
}

WakeWatch::WakeWatch(const std::string& device, std::function<void(const MacAddress&)> on_wake)
    : on_wake_(std::move(on_wake)) {
  const unsigned index = ::if_nametoindex(device.c_str());
  if (index == 0) return;
  fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ALL));
  if (fd_ < 0) return;
  sockaddr_ll at{};
  at.sll_family = AF_PACKET;
  at.sll_protocol = htons(ETH_P_ALL);
  at.sll_ifindex = static_cast<int>(index);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  thread_ = std::thread([this] { run(); });
}

WakeWatch::~WakeWatch() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void WakeWatch::run() {
  std::vector<std::uint8_t> frame(65536);
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::recv(fd_, frame.data(), frame.size(), 0);
    if (n <= 0) continue;
    const auto mac = find_magic_packet(frame.data(), static_cast<std::size_t>(n));
    if (!mac) continue;
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(*mac);
    }
    changed_.notify_all();
    if (on_wake_) on_wake_(*mac);
  }
}

bool WakeWatch::wait_for(const MacAddress& mac, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return std::find(seen_.begin(), seen_.end(), mac) != seen_.end(); });
}

std::vector<MacAddress> WakeWatch::seen() {
  std::lock_guard lock(mutex_);
  return seen_;
}

}  // namespace kestrelon::test
