#include "net/receive_dispatcher.h"

#include <cstdio>

#include "net/wire_format.h"

namespace kestrelon {

std::string ReceiveDispatcher::unknown_opcode_text(int opcode, int version) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "Received unknown opcode (%d) packet version (%d)\n", opcode, version);
  return buf;
}

ReceiveDispatcher::Outcome ReceiveDispatcher::dispatch(std::span<const std::uint8_t> datagram,
                                                       int endpoint_index, Ipv4Address from) {
  Outcome outcome;
  {
    SemaphoreGuard hold(receive_lock_);
    // Anyone on the network can send an empty datagram: it must not end the
    // thread and leave the interface deaf. Shutdown wakes the threads itself.
    outcome = datagram.empty() ? Outcome::empty : handle(datagram, endpoint_index, from);
  }
  counts_[static_cast<int>(outcome)].fetch_add(1);
  return outcome;
}

ReceiveDispatcher::Outcome ReceiveDispatcher::handle(std::span<const std::uint8_t> d, int endpoint,
                                                     Ipv4Address from) {
  using namespace wire;
  if (!has_magic(d)) {
    notices_.post("bad magic", kBadMagicText);
    return Outcome::bad_magic;
  }
  const auto header = decode_header(d);
  if (!header) return Outcome::malformed;

  switch (header->opcode) {
    case OP_DISCOVER:  // our own discovery request, looped back through the group
    case OP_COPY_START:
    case OP_COPY_DATA:
    case OP_ACKER:
    case 9:
      return Outcome::ignored;

    case OP_ANNOUNCE: {
      AnnounceHandler* h = announce_.load();
      if (!h) return Outcome::ignored;
      const auto a = decode_announce(d);
      if (!a) return Outcome::malformed;
      h->on_announce(*a, endpoint, from);
      return Outcome::handled;
    }

    case OP_COPY_ACK:
    case OP_COPY_NAK:
    case OP_COPY_DONE:
    case OP_COPY_READY: {
      CopyPacketHandler* h = copy_.load();
      if (!h) return Outcome::ignored;
      if (header->opcode == OP_COPY_ACK) {
        const auto ack = decode_copy_ack(d);
        if (!ack) return Outcome::malformed;
        h->on_copy_ack(*ack, endpoint, from);
      } else if (header->opcode == OP_COPY_READY) {
        h->on_copy_ready(from, endpoint);
      } else if (!h->copy_running()) {
        return Outcome::gated;
      } else if (header->opcode == OP_COPY_NAK) {
        const auto nak = decode_copy_nak(d);
        if (!nak) return Outcome::malformed;
        h->on_copy_nak(*nak, endpoint, from);
      } else {
        const auto done = decode_copy_done(d);
        if (!done) return Outcome::malformed;
        h->on_copy_done(*done, endpoint, from);
      }
      return Outcome::handled;
    }

    case OP_COPY_NAME: {
      CopyNameHandler* h = copy_name_.load();
      if (!h) return Outcome::ignored;
      const auto answer = decode_copy_name_answer(d);
      if (!answer) return Outcome::malformed;
      h->on_copy_name_answer(*answer, from);
      return Outcome::handled;
    }

    case OP_CREATE_DATA: {
      CreateDataHandler* h = create_.load();
      if (!h) return Outcome::ignored;
      const auto data = decode_create_data(d);
      if (!data) return Outcome::malformed;
      h->on_create_data(*data, from, endpoint);
      return Outcome::handled;
    }

    default:  // 10 to 17 (12 aside) and above 18
      // One kind for every opcode and version: datagrams that differ in those
      // words still fold into one box.
      notices_.post("unknown opcode", unknown_opcode_text(header->opcode, header->version));
      return Outcome::unknown_opcode;
  }
}

}  // namespace kestrelon
