#pragma once
// The Client program: its disks, one ClientNode per emulated Client, the shared
// control-group socket, and the one event loop that drives them all.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "client_log.h"
#include "client_node.h"
#include "client_options.h"
#include "disk_set.h"

namespace kestrelon::client {

class ClientRuntime {
 public:
  // Reads the disks and binds every socket; nullptr with a message on failure.
  static std::unique_ptr<ClientRuntime> create(const ClientOptions& options, std::string* error,
                                               std::unique_ptr<ClientLog> log = nullptr);
  ~ClientRuntime();

  // Runs until stop() (status 0) or, with --once, until every Client has ended a
  // transfer (0 when all succeeded, 1 otherwise).
  int run();
  // Any thread, and signal handlers: makes run() return soon.
  void stop();

  std::vector<Ipv4Address> addresses() const;
  const ClientNode& node(std::size_t i) const { return *nodes_[i]; }
  std::size_t node_count() const { return nodes_.size(); }

 private:
  ClientRuntime() = default;
  bool open_group(std::string* error);
  void drain_group(Tick now);

  ClientOptions options_;
  std::unique_ptr<ClientLog> log_;
  DiskSet disks_;
  std::vector<std::unique_ptr<ClientNode>> nodes_;
  UdpSocket group_;
  DatagramBatch data_batch_;  // shared: the loop reads one socket at a time
  int wake_fd_ = -1;
};

// The names of emulated Clients: NAME, or NAME-001, NAME-002 ... with --count.
std::string emulated_name(const std::string& base, int index, int count);

}  // namespace kestrelon::client
