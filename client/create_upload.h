#pragma once
// Uploading an image of one disk, stop-and-wait: block n is sent until the
// Controller answers; OP_CREATE_ACK for it brings block n + 1, OP_CREATE_NAK
// brings the block it names (kept for a while after it was sent). Without an
// answer a block is sent again after 40 ms, then 80, 160 ... up to 1 s. The
// block holding REC_END is repeated every 200 ms until acknowledged: the
// Controller acknowledges it only after it has closed the upload. OP_ABORT ends
// the upload at once.
#include <deque>
#include <memory>

#include "client_log.h"
#include "transfer.h"
#include "upload_stream.h"

namespace kestrelon::client {

struct CreateTiming {
  Tick first_resend = 40;
  Tick longest_resend = 1000;
  Tick end_repeat = 200;
  Tick give_up = 30000;  // no answer at all for this long
  std::size_t kept_blocks = 64;
};

class CreateUpload final : public Transfer {
 public:
  CreateUpload(ClientLink& link, ClientLog& log, Ipv4Address controller, std::unique_ptr<UploadStream> stream,
               CreateTiming timing = {});
  void begin(Tick now);

  void on_control(std::uint16_t opcode, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now) override;
  void on_tick(Tick now) override;
  std::optional<Tick> next_deadline() const override;
  bool finished() const override { return ended_; }
  bool succeeded() const override { return complete_; }
  void cancel(const std::string& why) override;

  std::uint32_t current_block() const { return current_; }

 private:
  struct Block {
    std::uint32_t number;
    Datagram datagram;
    bool last;
  };
  bool produce(std::uint32_t number);
  void send_current(Tick now);
  const Block* find(std::uint32_t number) const;
  void fail(const std::string& why);

  ClientLink& link_;
  ClientLog& log_;
  Ipv4Address controller_;
  std::unique_ptr<UploadStream> stream_;
  CreateTiming timing_;
  std::deque<Block> kept_;  // the blocks sent lately, oldest first
  std::uint32_t current_ = 0;
  Tick last_send_ = 0;
  Tick last_answer_ = 0;
  Tick resend_after_ = 0;
  bool silent_ = false;
  bool ended_ = false;
  bool complete_ = false;
};

}  // namespace kestrelon::client
