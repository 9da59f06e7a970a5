#pragma once
// What a copy sends to and hears from each of its targets, for whoever follows
// them one by one (the per-Client events of the command line, the transfer
// journal). The copy engine calls it: start_sent from Copy start on the
// user-interface thread with the client table lock held, heard and reported from
// the receive threads with the receive lock held, acknowledging from a receive thread or the
// copy worker. An implementation only records, under a lock of its own that it
// never holds while calling out.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace kestrelon {

enum class CopyAnswer { ready, acknowledgement, resend_request, done };

class CopyObserver {
 public:
  virtual ~CopyObserver() = default;
  // OP_COPY_START went to `target`.
  virtual void start_sent(Ipv4Address target) = 0;
  // An answer from `from`: the Client's own address for acknowledgements and
  // completions, the datagram's source for the others. `block` is the block
  // acknowledged or asked for again, 0 for the others.
  virtual void heard(Ipv4Address from, CopyAnswer answer, std::uint32_t block) = 0;
  // OP_ACKER went to `client`: from now on it acknowledges for all, while the
  // others speak only to ask for a lost block and to report completion.
  virtual void acknowledging(Ipv4Address client) = 0;
  // The lines a Client reported with its completion (what it did beside writing
  // the image), from the receive thread, before the completion itself is heard.
  virtual void reported(Ipv4Address client, const std::vector<std::string>& lines) = 0;
};

}  // namespace kestrelon
