#pragma once
// Stands in for the network card of a switched-off PC: watches every frame that
// reaches one network device (a lab host's eth0, a virtual PC's tap) for a
// Wake-on-LAN magic packet, anywhere in the frame as a card looks for it, and
// says whose MAC address it named. Needs root (a packet socket).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mac_address.h"

namespace kestrelon::test {

// The MAC address a magic packet in `frame` names, if it holds one.
std::optional<MacAddress> find_magic_packet(const std::uint8_t* frame, std::size_t length);

class WakeWatch {
 public:
  // Opens the socket on `device` of the calling thread's network namespace (call
  // it inside the namespace); ok() says whether that worked. `on_wake` runs on
  // the watch's thread for each magic packet seen.
  explicit WakeWatch(const std::string& device, std::function<void(const MacAddress&)> on_wake = {});
  ~WakeWatch();
  WakeWatch(const WakeWatch&) = delete;
  WakeWatch& operator=(const WakeWatch&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Waits until a magic packet for `mac` has been seen; false after `limit`.
  bool wait_for(const MacAddress& mac, std::chrono::milliseconds limit);
  std::vector<MacAddress> seen();

 private:
  void run();

  int fd_ = -1;
  std::function<void(const MacAddress&)> on_wake_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<MacAddress> seen_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrelon::test
