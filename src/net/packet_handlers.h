#pragma once
// What the receive dispatcher hands datagrams to. Each is called on a receive
// thread with the receive lock held, with the index of the interface endpoint the
// datagram arrived on (replies leave by the same interface) and the datagram's
// source address: anyone on the network can send any datagram, and the source is
// what tells a Client's answer from a stray host's.
#include "net/wire_decode.h"
#include "platform/ipv4_address.h"

namespace kestrelon {

class AnnounceHandler {
 public:
  virtual ~AnnounceHandler() = default;
  virtual void on_announce(const wire::Announce& announce, int endpoint_index, Ipv4Address from) = 0;
};

class CopyPacketHandler {
 public:
  virtual ~CopyPacketHandler() = default;
  // Resend requests and completions are handled only while this is set.
  virtual bool copy_running() const = 0;
  virtual void on_copy_ack(const wire::CopyAck& ack, int endpoint_index, Ipv4Address from) = 0;
  virtual void on_copy_nak(const wire::CopyNak& nak, int endpoint_index, Ipv4Address from) = 0;
  virtual void on_copy_done(const wire::CopyDone& done, int endpoint_index, Ipv4Address from) = 0;
  virtual void on_copy_ready(Ipv4Address from, int endpoint_index) = 0;
};

class CopyNameHandler {
 public:
  virtual ~CopyNameHandler() = default;
  // A Client's answer to OP_COPY_NAME: its name taken, refused, or its report
  // of what it did after the copy.
  virtual void on_copy_name_answer(const wire::CopyNameAnswer& answer, Ipv4Address from) = 0;
};

class CreateDataHandler {
 public:
  virtual ~CreateDataHandler() = default;
  // Only the uploading Client's blocks count.
  virtual void on_create_data(const wire::CreateData& data, Ipv4Address from, int endpoint_index) = 0;
};

}  // namespace kestrelon
