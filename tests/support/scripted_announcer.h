#pragma once
// Stands in for a set of Clients on the control group: every OP_DISCOVER it hears
// is answered with one OP_ANNOUNCE per scripted Client, sent to the address the
// request carries, as a Client does.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/datagrams.h"
#include "support/udp_peer.h"

namespace kestrelon::test {

// A Client named `name` at `address` with `disks` equal disks of `disk_sectors`
// sectors and one partition each.
AnnounceSpec announcing_client(Ipv4Address address, const std::string& name, int disks,
                               std::uint32_t disk_sectors = 2 << 20);

class ScriptedAnnouncer {
 public:
  // Listens on the control group through the interface with `address`.
  explicit ScriptedAnnouncer(Ipv4Address address, std::vector<AnnounceSpec> clients = {});
  ~ScriptedAnnouncer();
  ScriptedAnnouncer(const ScriptedAnnouncer&) = delete;
  ScriptedAnnouncer& operator=(const ScriptedAnnouncer&) = delete;

  bool ok() const { return listener_.ok() && sender_.ok(); }
  void set_clients(std::vector<AnnounceSpec> clients);
  int discovers_heard() const { return discovers_.load(); }
  // When each OP_DISCOVER arrived, in order.
  std::vector<std::chrono::steady_clock::time_point> discover_times();

 private:
  void run();

  UdpPeer listener_;
  UdpPeer sender_;
  std::mutex mutex_;
  std::vector<AnnounceSpec> clients_;
  std::vector<std::chrono::steady_clock::time_point> discover_times_;
  std::atomic<int> discovers_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrelon::test
