#pragma once
// Plays a Client that uploads its disk for a Create: waits for OP_CREATE_REQUEST,
// then sends the upload stream block by block, each again until it is
// acknowledged, going back to the block an OP_CREATE_NAK names, until the last
// block is acknowledged or OP_ABORT arrives. Built from hand-made datagrams,
// independent of the Controller's code.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/udp_peer.h"

namespace kestrelon::test {

class ScriptedUploader {
 public:
  struct Script {
    std::vector<std::uint8_t> stream;  // the upload stream's bytes
    std::size_t packet = 1200;         // stream bytes per OP_CREATE_DATA
    // From this block on the Client goes quiet and only counts aborts.
    std::uint32_t quiet_from = UINT32_MAX;
    std::chrono::milliseconds request_wait{15000};
  };

  // Binds `address` on the control port; the Controller is reached at `controller`.
  ScriptedUploader(Ipv4Address address, Ipv4Address controller);
  ~ScriptedUploader();

  bool ok() const { return peer_.ok(); }
  void start(Script script);
  void join();

  bool request_seen() const { return request_seen_.load(); }
  // The request's compression level, disk and flags words.
  std::uint16_t level() const { return level_.load(); }
  std::uint16_t disk() const { return disk_.load(); }
  std::uint16_t flags() const { return flags_.load(); }
  bool finished() const { return finished_.load(); }
  int aborts() const { return aborts_.load(); }
  std::uint32_t blocks_sent() const { return sent_.load(); }

 private:
  void run(Script script);
  void count_aborts_for(std::chrono::milliseconds limit);

  UdpPeer peer_;
  Ipv4Address controller_;
  std::atomic<bool> request_seen_{false};
  std::atomic<std::uint16_t> level_{0}, disk_{0}, flags_{0};
  std::atomic<bool> finished_{false};
  std::atomic<int> aborts_{0};
  std::atomic<std::uint32_t> sent_{0};
  std::thread thread_;
};

}  // namespace kestrelon::test
