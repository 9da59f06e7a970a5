#include "create_upload.h"

#include <algorithm>

#include "net/wire_format.h"

namespace kestrelon::client {

using namespace kestrelon::wire;

CreateUpload::CreateUpload(ClientLink& link, ClientLog& log, Ipv4Address controller,
                           std::unique_ptr<UploadStream> stream, CreateTiming timing)
    : link_(link), log_(log), controller_(controller), stream_(std::move(stream)), timing_(timing) {}

void CreateUpload::begin(Tick now) {
  last_answer_ = now;
  if (!produce(0)) return;
  current_ = 0;
  send_current(now);
}

const CreateUpload::Block* CreateUpload::find(std::uint32_t number) const {
  for (const Block& b : kept_) {
    if (b.number == number) return &b;
  }
  return nullptr;
}

bool CreateUpload::produce(std::uint32_t number) {
  UploadPiece piece;
  if (!stream_->next(piece)) {
    fail(stream_->failed() ? stream_->error() : "the upload stream ended early");
    return false;
  }
  const ImageBuilder& b = stream_->builder();
  const auto done = static_cast<std::uint32_t>(b.read_bytes() >> 10);
  const auto total = static_cast<std::uint32_t>(b.total_bytes() >> 10);
  kept_.push_back(Block{number, encode_create_data(number, piece.payload, done, total), piece.last});
  while (kept_.size() > timing_.kept_blocks) kept_.pop_front();
  return true;
}

void CreateUpload::send_current(Tick now) {
  const Block* b = find(current_);
  if (!b || silent_) return;
  link_.send_to(b->datagram, controller_);
  last_send_ = now;
  const FaultPlan& faults = link_.faults();
  if (faults.exit_after_block >= 0 && static_cast<std::int64_t>(current_) >= faults.exit_after_block) {
    link_.fault_exit();
  }
  if (faults.silent_after_block >= 0 && static_cast<std::int64_t>(current_) >= faults.silent_after_block) {
    log_.note(link_.who(), "going silent after block " + std::to_string(current_) + " (--silent-after)");
    silent_ = true;
  }
}

void CreateUpload::on_control(std::uint16_t opcode, std::span<const std::uint8_t> d, Ipv4Address, Tick now) {
  if (ended_) return;
  if (opcode == OP_ABORT) {
    fail("aborted by the Controller at block " + std::to_string(current_));
    return;
  }
  if (silent_ || (opcode != OP_CREATE_ACK && opcode != OP_CREATE_NAK)) return;
  const auto block = decode_create_answer(d, opcode);
  if (!block) return;
  last_answer_ = now;
  if (opcode == OP_CREATE_ACK) {
    if (*block != current_) return;  // the answer to a repeat we no longer care about
    const Block* b = find(current_);
    if (b && b->last) {
      complete_ = true;
      ended_ = true;
      const ImageBuilder& builder = stream_->builder();
      log_.note(link_.who(), "create complete: " + std::to_string(builder.produced()) + " image bytes from " +
                                 std::to_string(builder.read_bytes()) + " partition bytes in " +
                                 std::to_string(current_ + 1) + " blocks");
      return;
    }
    ++current_;
    if (!find(current_) && !produce(current_)) return;
  } else {
    // The Controller names the block it expects. It can only be one we have sent.
    if (!find(*block)) {
      if (*block > current_) return;
      fail("the Controller asks for block " + std::to_string(*block) + ", which is no longer kept");
      return;
    }
    current_ = *block;
  }
  resend_after_ = timing_.first_resend;
  send_current(now);
}

void CreateUpload::on_tick(Tick now) {
  if (ended_ || silent_) return;
  if (tick_reached(now, last_answer_ + timing_.give_up)) {
    fail("no answer from the Controller for " + std::to_string(timing_.give_up / 1000) + " s");
    return;
  }
  const Block* b = find(current_);
  if (!b) return;
  const Tick wait = b->last ? timing_.end_repeat : std::max(resend_after_, timing_.first_resend);
  if (tick_reached(now, last_send_ + wait)) {
    send_current(now);
    if (!b->last) resend_after_ = std::min<Tick>(std::max(resend_after_, timing_.first_resend) * 2, timing_.longest_resend);
  }
}

std::optional<Tick> CreateUpload::next_deadline() const {
  if (ended_ || silent_) return std::nullopt;
  const Block* b = find(current_);
  const Tick wait = b && b->last ? timing_.end_repeat : std::max(resend_after_, timing_.first_resend);
  return last_send_ + wait;
}

void CreateUpload::fail(const std::string& why) {
  if (ended_) return;
  log_.note(link_.who(), "create failed: " + why);
  ended_ = true;
  complete_ = false;
}

void CreateUpload::cancel(const std::string& why) { fail(why); }

}  // namespace kestrelon::client
