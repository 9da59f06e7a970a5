#pragma once
// Checks each received datagram and hands it to the handler for its opcode, one
// datagram at a time program-wide (the receive lock).
#include <atomic>
#include <cstdint>
#include <span>

#include "net/notice_board.h"
#include "net/packet_handlers.h"
#include "platform/semaphore.h"

namespace kestrelon {

class ReceiveDispatcher {
 public:
  enum class Outcome {
    handled,         // given to a handler
    ignored,         // an opcode the Controller does not act on, or no handler is set
    gated,           // a copy packet while no copy is running
    bad_magic,       // "Magic cookie is wrong" posted
    unknown_opcode,  // the unknown-opcode message posted
    malformed,       // too short for its fields; dropped without a message
    empty,           // an empty datagram: dropped; the thread keeps receiving
  };

  ReceiveDispatcher(Semaphore& receive_lock, NoticeBoard& notices)
      : receive_lock_(receive_lock), notices_(notices) {}

  // Handlers are set while no receive thread runs; null means "not handled".
  void set_announce_handler(AnnounceHandler* h) { announce_.store(h); }
  void set_copy_handler(CopyPacketHandler* h) { copy_.store(h); }
  void set_create_handler(CreateDataHandler* h) { create_.store(h); }
  void set_copy_name_handler(CopyNameHandler* h) { copy_name_.store(h); }

  // Takes the receive lock, handles one datagram and releases the lock. `from` is
  // the datagram's source address.
  Outcome dispatch(std::span<const std::uint8_t> datagram, int endpoint_index, Ipv4Address from = {});

  std::uint64_t count(Outcome o) const { return counts_[static_cast<int>(o)].load(); }

  static constexpr const char* kBadMagicText = "Magic cookie is wrong";
  static std::string unknown_opcode_text(int opcode, int version);

 private:
  Outcome handle(std::span<const std::uint8_t> datagram, int endpoint_index, Ipv4Address from);

  Semaphore& receive_lock_;
  NoticeBoard& notices_;
  std::atomic<AnnounceHandler*> announce_{nullptr};
  std::atomic<CopyPacketHandler*> copy_{nullptr};
  std::atomic<CreateDataHandler*> create_{nullptr};
  std::atomic<CopyNameHandler*> copy_name_{nullptr};
  std::atomic<std::uint64_t> counts_[7]{};
};

}  // namespace kestrelon
