#pragma once
// Uploading an image of one disk. Up to `window` blocks are in flight (fewer
// while blocks get lost: UploadWindow), and every
// answer of the Controller says which blocks it has taken (it takes them only in
// order, so OP_CREATE_ACK for block n and OP_CREATE_NAK naming block n + 1 both
// mean "everything up to n"), and the window slides on it. A refusal that names
// a block sent before the refused packet means that block was lost: sending goes
// back to it, once per round trip, since refusals of packets that left before
// the block was sent again say nothing new. With a window of 1 this is the plain
// stop-and-wait upload.
//
// When the Controller offers answers on request (receive_engine_answers.h) and
// the window is larger than 1, every packet carries a send number and asks for an
// answer now and then; the Controller's answers then name the packet they answer.
//
// While the disk is read and nothing comes of it for a while (a long stretch of
// zeros), a keep-alive block leaves every half second all the same (see
// upload_stream.h); it asks for an answer, and sending pauses for it, so the
// Client reads its answers while it reads on.
//
// Without any answer the oldest block is sent again after 40 ms, then 80, 160 ...
// up to 1 s, and the window goes back to it. The block holding REC_END is repeated
// every 200 ms until acknowledged: the Controller acknowledges it only after it
// has closed the upload. OP_ABORT ends the upload at once.
#include <deque>
#include <memory>

#include "client_log.h"
#include "transfer.h"
#include "upload_stream.h"
#include "upload_window.h"

namespace kestrelon::client {

struct UploadSettings {
  // The most blocks in flight (UploadWindow); 1 is stop-and-wait.
  std::uint32_t window = 128;
  int compress_threads = 0;  // 0: one per core
  image::ChunkMethod method = image::kZstd;
};

struct CreateTiming {
  Tick first_resend = 40;
  Tick longest_resend = 1000;
  Tick end_repeat = 200;
  Tick give_up = 30000;  // no answer at all for this long
};

class CreateUpload final : public Transfer {
 public:
  // `answers_offered`: the Create request offered answers on request.
  CreateUpload(ClientLink& link, ClientLog& log, Ipv4Address controller, std::unique_ptr<UploadStream> stream,
               UploadSettings settings = {}, bool answers_offered = false, CreateTiming timing = {});
  void begin(Tick now);

  void on_control(std::uint16_t opcode, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now) override;
  void on_tick(Tick now) override;
  std::optional<Tick> next_deadline() const override;
  bool finished() const override { return ended_; }
  bool succeeded() const override { return complete_; }
  void cancel(const std::string& why) override;

  // The lowest block the Controller has not taken yet.
  std::uint32_t current_block() const { return base_; }
  // Datagrams sent, resends included, and how many of them were resends.
  std::uint32_t sends() const { return sends_; }
  std::uint32_t resends() const { return resends_; }
  bool answers_on_request() const { return tail_; }

 private:
  struct Block {
    Datagram datagram;  // with room for the tail when answers are on request
    bool last = false;
    bool keep_alive = false;
    bool asked = false;  // its last send asked for an answer
    bool sent = false;
    std::uint32_t first_send = 0, last_send = 0;
  };
  bool produce();
  void send(std::uint32_t number, Tick now);
  void fill_window(Tick now);
  void taken_below(std::uint32_t number, Tick now);
  void on_answer(std::uint16_t opcode, std::uint32_t block, std::optional<std::uint32_t> echoed, Tick now);
  void go_back(Tick now);
  void note_progress(Tick now);
  void fail(const std::string& why);

  ClientLink& link_;
  ClientLog& log_;
  Ipv4Address controller_;
  std::unique_ptr<UploadStream> stream_;
  bool tail_;  // answers on request
  CreateTiming timing_;
  UploadWindow window_;
  std::deque<Block> blocks_;  // blocks base_ .. base_ + size - 1, produced and not yet taken
  std::uint32_t base_ = 0;    // every block below has been taken
  std::uint32_t next_ = 0;    // the block sent next
  std::uint32_t sent_end_ = 0;  // one past the highest block sent so far
  std::uint32_t sends_ = 0;   // the send number of the next datagram
  std::uint32_t resends_ = 0;
  // Plain answers carry no send number; they come in the order of the packets
  // they answer, so this is the lowest send number the next one can answer.
  std::uint32_t next_answer_at_least_ = 0;
  bool produced_last_ = false;
  Tick last_send_ = 0;
  Tick last_answer_ = 0;
  Tick last_progress_ = 0;  // the window last slid, or went back
  Tick resend_after_ = 0;
  bool silent_ = false;
  bool ended_ = false;
  bool complete_ = false;
};

}  // namespace kestrelon::client
