#pragma once
// What a copy or a create in progress looks like to the Client that runs it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "client_wire.h"
#include "fault_plan.h"
#include "platform/ipv4_address.h"
#include "platform/tick.h"

namespace kestrelon::client {

// The Client's way out to the Controller: every datagram goes to the control
// port of the address that sent the request, through the Client's fault plan.
class ClientLink {
 public:
  virtual ~ClientLink() = default;
  virtual void send_to(const Datagram& datagram, Ipv4Address controller) = 0;
  virtual Ipv4Address self() const = 0;
  virtual const std::string& who() const = 0;
  virtual const FaultPlan& faults() const = 0;
  // The "exit after block N" fault: ends the program (status 3).
  virtual void fault_exit() = 0;
};

class Transfer {
 public:
  virtual ~Transfer() = default;
  // A datagram from the Controller that arrived on the Client's own address.
  virtual void on_control(std::uint16_t opcode, std::span<const std::uint8_t> datagram, Ipv4Address from,
                          Tick now) = 0;
  // A datagram that arrived on the data group (copy only).
  virtual void on_data(std::span<const std::uint8_t> /*datagram*/, Tick /*now*/) {}
  // Every waiting data datagram has been handed over (a burst has ended).
  virtual void on_data_batch_end(Tick /*now*/) {}
  virtual void on_tick(Tick now) = 0;
  // The next time on_tick has something to do; nullopt when only a datagram can
  // move the transfer on.
  virtual std::optional<Tick> next_deadline() const = 0;
  // The socket of the data group, or -1.
  virtual int data_fd() const { return -1; }
  virtual bool finished() const = 0;
  virtual bool succeeded() const = 0;
  // Ends the transfer at once (a newer request replaces it, or the program stops).
  virtual void cancel(const std::string& why) = 0;
};

}  // namespace kestrelon::client
