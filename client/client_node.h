#pragma once
// One Client: its own address and control socket, its announces, and at most one
// transfer at a time. The runtime calls it from its single event-loop thread.
#include <deque>
#include <memory>
#include <string>

#include "client_log.h"
#include "datagram_batch.h"
#include "disk_set.h"
#include "fault_plan.h"
#include "platform/udp_socket.h"
#include "transfer.h"

namespace kestrelon::client {

struct NodeSettings {
  int index = 0;
  Ipv4Address address;
  std::string name;
  std::optional<std::string> store_dir;  // copies are kept here instead of restored
  bool allow_write = false;
  bool restores_allowed = true;  // false when several emulated Clients share the disks
  std::uint32_t reorder_blocks = 0;  // early copy blocks kept; 0 = CopyTiming's own
};

class ClientNode final : public ClientLink {
 public:
  ClientNode(NodeSettings settings, DiskSet& disks, const FaultPlan& faults, ClientLog& log);
  ~ClientNode() override;

  // Binds address:4747; false with a message.
  bool open(std::string* error);
  int control_fd() const { return control_.fd(); }
  int data_fd() const { return transfer_ ? transfer_->data_fd() : -1; }

  // Reads every datagram waiting on the control socket / the data socket (the
  // latter through `batch`, many at a time).
  void drain_control(Tick now);
  void drain_data(Tick now, DatagramBatch& batch);
  // A datagram heard on the control group (shared by the emulated Clients).
  void on_group_datagram(std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now);
  void tick(Tick now);
  std::optional<Tick> next_deadline() const;

  // Transfers that have ended, and how many of them succeeded.
  int transfers_finished() const { return finished_; }
  int transfers_succeeded() const { return succeeded_; }
  bool transfer_running() const { return transfer_ != nullptr; }
  std::uint32_t announces_sent() const { return announces_; }

  // ClientLink
  void send_to(const Datagram& datagram, Ipv4Address controller) override;
  Ipv4Address self() const override { return settings_.address; }
  const std::string& who() const override { return who_; }
  const FaultPlan& faults() const override { return faults_.plan(); }
  void fault_exit() override;

 private:
  enum class Channel { control, data };
  struct Held {
    Tick due;
    bool incoming;
    Channel channel;
    Datagram bytes;
    Ipv4Address peer;
    std::uint16_t port;
  };
  void receive(Channel channel, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now);
  void handle(Channel channel, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now);
  void answer_discover(std::span<const std::uint8_t> datagram);
  void start_copy(std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now);
  void start_create(std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now);
  // Says in the log what the options of a copy do here.
  void note_copy_options(std::uint16_t flags);
  void replace_transfer(std::unique_ptr<Transfer> next);
  void settle_restored_disk();
  void reap(Tick now);
  // Sends through the fault plan (drop, duplicate, delay).
  void send_with_faults(const Datagram& datagram, Ipv4Address to, std::uint16_t port);
  void send_now(const Datagram& datagram, Ipv4Address to, std::uint16_t port);

  NodeSettings settings_;
  std::string who_;
  DiskSet& disks_;
  FaultInjector faults_;
  ClientLog& log_;
  UdpSocket control_;
  std::unique_ptr<Transfer> transfer_;
  std::optional<std::size_t> restoring_disk_;  // the disk the running copy rewrites
  std::deque<Held> held_;
  int finished_ = 0;
  int succeeded_ = 0;
  std::uint32_t announces_ = 0;
};

}  // namespace kestrelon::client
