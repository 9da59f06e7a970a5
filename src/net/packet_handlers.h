#pragma once
// What the receive dispatcher hands datagrams to. Each is called on a receive
// thread with the receive lock held, with the index of the interface endpoint the
// datagram arrived on (replies leave by the same interface).
#include "net/wire_decode.h"
#include "platform/ipv4_address.h"

namespace kestrelon {

class AnnounceHandler {
 public:
  virtual ~AnnounceHandler() = default;
  virtual void on_announce(const wire::Announce& announce, int endpoint_index) = 0;
};

class CopyPacketHandler {
 public:
  virtual ~CopyPacketHandler() = default;
  // Resend requests and completions are handled only while this is set.
  virtual bool copy_running() const = 0;
  virtual void on_copy_ack(const wire::CopyAck& ack, int endpoint_index) = 0;
  // A resend request names no Client: `from` is the datagram's source address.
  virtual void on_copy_nak(const wire::CopyNak& nak, int endpoint_index, Ipv4Address from) = 0;
  virtual void on_copy_done(const wire::CopyDone& done, int endpoint_index) = 0;
  // OP_COPY_READY carries no fields: `from` is the datagram's source address.
  virtual void on_copy_ready(Ipv4Address from, int endpoint_index) = 0;
};

class CreateDataHandler {
 public:
  virtual ~CreateDataHandler() = default;
  // `from` is the datagram's source address: only the uploading Client's count.
  virtual void on_create_data(const wire::CreateData& data, Ipv4Address from, int endpoint_index) = 0;
};

}  // namespace kestrelon
