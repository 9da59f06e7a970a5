#pragma once
// Receiving a multicast copy. The Client joins the data group, says it is ready,
// takes the blocks in order (keeping blocks that arrive early), and hands the
// image bytes to its sink. How it answers, so the Controller's flow control
// follows the slowest Client:
//
// - Acknowledgements name the highest block received in order. Until a Client
//   has acknowledged a block of 32 or more it acknowledges every few blocks and
//   at the end of every burst; it sends three such acknowledgements (one could
//   be lost, and the rank it earns matters) and then falls quiet, unless the
//   Controller names it the acknowledging Client (OP_ACKER), which keeps
//   acknowledging to the end.
// - A ranked Client that has seen nothing new for two seconds acknowledges
//   anyway and keeps doing so: either OP_ACKER was lost or the acknowledging
//   Client died, and without an acknowledgement the Controller waits for ever
//   (one target) or cancels the copy.
// - A resend request names the lowest missing block. Each one pauses the
//   Controller and rewinds it there, so the same block is asked for again only
//   when the hold-off has passed and it is still missing. A different missing
//   block is asked for at once: the earlier request has been served, and waiting
//   would leave the window full until a timeout (hundreds of milliseconds per
//   lost block). When nothing arrives for a while it asks again: near the end
//   nothing is resent otherwise.
// - The image's end is exact: this Client's image header records the length.
//   For other files (kept with --store) a block shorter than 1350 bytes ends the
//   copy; a length that is a multiple of 1350 is taken when the next block
//   stays missing after two requests.
// - OP_COPY_DONE follows the last byte written, repeated until the Controller
//   shows it has taken it: by OP_ABORT, or by falling silent on the data group.
//   Only then has the transfer ended (and a restore's slow after-work runs).
// - OP_COPY_NAME from the Controller, for this Client and disk, gives the
//   computer name the copied systems take after a whole copy; it is answered at
//   once (taken, or refused when it is no computer name), and once the
//   after-work has run its lines go back to the Controller as a report.
#include <memory>
#include <optional>
#include <vector>

#include "client_log.h"
#include "client_wire.h"
#include "copy_sink.h"
#include "image/image_layout.h"
#include "platform/udp_socket.h"
#include "transfer.h"

namespace kestrelon::client {

struct CopyTiming {
  Tick nak_holdoff = 30;
  Tick stall_nak = 200;
  Tick rescue_ack = 2000;
  Tick ready_repeat = 1000;
  int ready_repeats = 5;
  Tick done_repeat = 250;
  Tick done_linger = 5000;     // then OP_COPY_DONE goes every done_repeat_late
  Tick done_repeat_late = 1000;
  Tick done_quiet = 3000;      // silence on the data group that ends a done copy
  Tick silence_limit = 60000;
  Tick resolution = 10;
  std::uint32_t ack_every = 4;
  int rank_acks = 3;
  // Blocks kept that arrive before a missing one. A fast sender runs this far
  // ahead while a resend request is answered; a Client that falls further
  // behind needs everything sent again.
  std::uint32_t reorder_blocks = 16384;
};

// How many early blocks each of `clients` emulated Clients keeps: a lone Client
// the whole 16384 (22 MB at most), several a share of it, each at least 1024.
std::uint32_t reorder_blocks_for(int clients);

class CopyReceive final : public Transfer {
 public:
  // `controller` sent the OP_COPY_START; every answer goes there. The data socket
  // is opened by open_data(); tests can feed on_data() without one.
  CopyReceive(ClientLink& link, ClientLog& log, Ipv4Address controller, CopyStart start,
              std::unique_ptr<CopySink> sink, CopyTiming timing = {});
  ~CopyReceive() override;

  // Joins the data group on the Client's interface. False with a message.
  bool open_data(std::string* error);
  // Sends OP_COPY_READY (and the extra ones the fault plan asks for).
  void begin(Tick now);
  // The Controller repeats OP_COPY_START to targets it has not heard from. The
  // same request from the same Controller before any data has come is answered
  // with OP_COPY_READY again (true); anything else is a new copy (false).
  bool answer_repeated_start(const CopyStart& start, Ipv4Address from);

  void on_control(std::uint16_t opcode, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now) override;
  void on_data(std::span<const std::uint8_t> datagram, Tick now) override;
  void on_data_batch_end(Tick now) override;
  void on_tick(Tick now) override;
  std::optional<Tick> next_deadline() const override;
  int data_fd() const override { return data_.fd(); }
  bool finished() const override { return state_ == State::ended; }
  bool succeeded() const override { return complete_; }
  void cancel(const std::string& why) override;

  // For tests and logs.
  std::uint32_t next_block() const { return next_; }
  std::optional<std::uint64_t> image_length() const { return length_; }
  bool acknowledging() const;

 private:
  enum class State { waiting, receiving, done, ended };
  void take_block(const CopyData& block, Tick now);
  bool deliver(std::uint32_t block, std::span<const std::uint8_t> data, Tick now);
  void pull_stored(Tick now);
  void check_complete(Tick now);
  void acknowledge(Tick now);
  void request_resend(Tick now);
  void fail(const std::string& why);
  void end_transfer();
  void take_name(std::span<const std::uint8_t> datagram, Ipv4Address from);
  void send_name_answer(wire::NameAnswer answer, wire::NamingOutcome outcome, const std::string& text);
  std::uint32_t done_kib() const;
  std::uint32_t total_kib() const;
  bool may_end_at(std::uint64_t length) const;
  std::uint64_t min_length() const { return std::uint64_t{start_.image_kib} << 10; }

  ClientLink& link_;
  ClientLog& log_;
  Ipv4Address controller_;
  CopyStart start_;
  std::unique_ptr<CopySink> sink_;
  CopyTiming timing_;
  UdpSocket data_;
  State state_ = State::waiting;
  bool complete_ = false;
  bool silent_ = false;

  std::optional<std::uint64_t> length_;  // exact image length, once known
  bool foreign_ = false;                 // block 0 was not this Client's header
  std::uint32_t next_ = 0;               // lowest block not yet received
  std::uint64_t delivered_ = 0;          // bytes handed to the sink
  std::vector<std::vector<std::uint8_t>> stored_;  // early blocks, by block % size
  std::vector<std::uint32_t> stored_block_;        // which block a slot holds
  std::vector<bool> stored_used_;

  // The computer name asked for by OP_COPY_NAME; set once the Controller has
  // shown it knows the opcode, so the report goes only to one that does.
  std::optional<std::string> computer_name_;

  bool acker_ = false;          // named by OP_ACKER
  bool self_appointed_ = false; // acknowledging after a long stall
  int rank_acks_sent_ = 0;
  std::int64_t last_acked_ = -1;
  Tick last_ack_time_ = 0;
  bool duplicate_seen_ = false;

  Tick begun_ = 0;
  int ready_sent_ = 0;
  Tick last_datagram_ = 0;
  Tick last_progress_ = 0;
  Tick last_nak_ = 0;
  std::uint32_t last_nak_block_ = 0;
  std::uint32_t highest_seen_ = 0;  // the highest block received, in order or not
  bool nak_sent_ = false;
  int end_probes_ = 0;
  Datagram done_;  // OP_COPY_DONE as sent, with the sink's report
  Tick done_first_ = 0;
  Tick done_last_ = 0;
  Tick last_tick_ = 0;
};

}  // namespace kestrelon::client
