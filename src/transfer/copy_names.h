#pragma once
// The computer names of a copy's targets: each target with a name gets
// OP_COPY_NAME right after its OP_COPY_START, and again once a second until
// its Client answers; a Client that never answers does not know the opcode
// (it copies and keeps the master's name). After the copy, each Client that
// took its name reports what it wrote (or why not); the reports are kept here
// until the Controller has recorded them.
//
// Driven from three sides: the command flow plans the names before Copy start
// (user-interface thread); the copy engine calls start_sent with the client
// table lock held and tick from the copy worker; answers come from the receive
// threads with the receive lock held. One mutex of its own guards everything,
// and nothing is called out while holding it but the endpoints' send.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/endpoint_table.h"
#include "net/packet_handlers.h"
#include "net/wire_decode.h"
#include "platform/tick.h"

namespace kestrelon {

struct TargetNaming {
  Ipv4Address address;
  std::string computer_name;
  bool taken = false;                     // the Client answered it
  std::string refused;                    // the Client refused it: why
  std::optional<wire::NamingOutcome> outcome;  // the report's outcome, once it came
  std::string report;                     // the report's lines, joined by "\n"
};

class CopyNames final : public CopyNameHandler {
 public:
  static constexpr Tick kRepeat = 1000;

  explicit CopyNames(const EndpointTable& endpoints) : endpoints_(endpoints) {}

  // The names of the next copy's targets, replacing those of the last one.
  void plan(const std::vector<std::pair<Ipv4Address, std::string>>& names);
  // OP_COPY_START went to `target` (by `interface_index`, for `disk`): its name follows.
  void start_sent(Ipv4Address target, int interface_index, std::uint16_t disk, Tick now);
  // Names not yet answered go again.
  void tick(Tick now);
  void on_copy_name_answer(const wire::CopyNameAnswer& answer, Ipv4Address from) override;

  std::vector<TargetNaming> targets() const;
  // Whether every target that took its name and is in `done` has reported.
  bool all_reported(const std::vector<Ipv4Address>& done) const;

 private:
  struct Entry {
    TargetNaming naming;
    int interface_index = -1;  // -1: its OP_COPY_START has not gone yet
    std::uint16_t disk = 0;
    Tick sent_at = 0;
  };
  void send(const Entry& e) const;

  const EndpointTable& endpoints_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace kestrelon
