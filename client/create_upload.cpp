#include "create_upload.h"

#include <algorithm>
#include <utility>

#include "net/wire_format.h"
#include "transfer/receive_engine_answers.h"

namespace kestrelon::client {

using namespace kestrelon::wire;
namespace aor = kestrelon::answers_on_request;

namespace {

// The progress fields count KiB in 32 bits; on a disk of 4 TiB or more both are
// halved until the total fits, so the share done stays right and the done value
// still grows as the disk is read.
std::pair<std::uint32_t, std::uint32_t> progress_kib(std::uint64_t done, std::uint64_t total) {
  done >>= 10;
  total >>= 10;
  while (total > 0xFFFFFFFFu) {
    done >>= 1;
    total >>= 1;
  }
  return {static_cast<std::uint32_t>(std::min<std::uint64_t>(done, total)), static_cast<std::uint32_t>(total)};
}

}  // namespace

CreateUpload::CreateUpload(ClientLink& link, ClientLog& log, Ipv4Address controller,
                           std::unique_ptr<UploadStream> stream, UploadSettings settings, bool answers_offered,
                           CreateTiming timing)
    : link_(link),
      log_(log),
      controller_(controller),
      stream_(std::move(stream)),
      tail_(answers_offered && settings.window > 1),
      timing_(timing),
      window_(settings.window) {}

void CreateUpload::begin(Tick now) {
  last_answer_ = now;
  last_progress_ = now;
  resend_after_ = timing_.first_resend;
  fill_window(now);
}

bool CreateUpload::produce() {
  UploadPiece piece;
  if (!stream_->next(piece)) {
    fail(stream_->failed() ? stream_->error() : "the upload stream ended early");
    return false;
  }
  const ImageBuilder& b = stream_->builder();
  const auto [done, total] = progress_kib(b.read_bytes(), b.total_bytes());
  const auto number = static_cast<std::uint32_t>(base_ + blocks_.size());
  Block block;
  block.datagram = encode_create_data(number, piece.payload, done, total);
  // The tail takes the place of the trailer (rewritten at every send).
  if (tail_) block.datagram.resize(kCreateDataHead + piece.payload.size() + aor::kTailLength);
  block.last = piece.last;
  block.keep_alive = piece.keep_alive;
  produced_last_ = piece.last;
  blocks_.push_back(std::move(block));
  return true;
}

void CreateUpload::send(std::uint32_t number, Tick now) {
  Block& b = blocks_[number - base_];
  if (base_ >= sent_end_) note_progress(now);  // nothing was in flight: the wait starts now
  if (b.sent) ++resends_;
  if (tail_) {
    // Asked for: now and then, so a lost answer is soon made good; a block sent
    // again; the one that fills the window; the last one.
    const std::uint32_t every = std::max<std::uint32_t>(window_.size() / 4, 1);
    b.asked = b.sent || b.last || b.keep_alive || sends_ % every == 0 || number + 1 >= base_ + window_.size();
    aor::write_tail(std::span(b.datagram).subspan(b.datagram.size() - aor::kTailLength),
                    aor::Tail{b.asked, sends_});
  }
  if (!b.sent) b.first_send = sends_;
  b.last_send = sends_;
  b.sent = true;
  ++sends_;
  sent_end_ = std::max(sent_end_, number + 1);
  last_send_ = now;
  link_.send_to(b.datagram, controller_);
  const FaultPlan& faults = link_.faults();
  if (faults.exit_after_block >= 0 && static_cast<std::int64_t>(number) >= faults.exit_after_block) {
    link_.fault_exit();
  }
  if (faults.silent_after_block >= 0 && static_cast<std::int64_t>(number) >= faults.silent_after_block) {
    log_.note(link_.who(), "going silent after block " + std::to_string(number) + " (--silent-after)");
    silent_ = true;
  }
}

void CreateUpload::fill_window(Tick now) {
  while (!ended_ && !silent_ && next_ - base_ < window_.size()) {
    if (next_ - base_ >= blocks_.size()) {
      if (produced_last_ || !produce()) return;
      // Producing may wait for compression, and answers wait unread meanwhile:
      // that time is not the Controller's.
      now = tick_count();
      last_progress_ = now;
    }
    if (tail_ && blocks_[next_ - base_].last && next_ > base_) {
      // The Controller stays silent once it has the end, so the blocks before it
      // must be known taken first: the newest is asked about if it was not.
      if (!blocks_[next_ - 1 - base_].asked) send(next_ - 1, now);
      return;
    }
    send(next_++, now);
    // Its answer is read before more is: producing may keep this loop from the
    // socket for another half second.
    if (blocks_[next_ - 1 - base_].keep_alive) return;
  }
}

void CreateUpload::taken_below(std::uint32_t number, Tick now) {
  if (number <= base_) return;
  window_.taken(number - base_);
  while (base_ < number && !blocks_.empty()) {
    blocks_.pop_front();
    ++base_;
  }
  next_ = std::max(next_, base_);
  note_progress(now);
  resend_after_ = timing_.first_resend;
}

void CreateUpload::on_control(std::uint16_t opcode, std::span<const std::uint8_t> d, Ipv4Address, Tick now) {
  if (ended_) return;
  if (opcode == OP_ABORT) {
    fail("aborted by the Controller at block " + std::to_string(base_));
    return;
  }
  if (silent_ || (opcode != OP_CREATE_ACK && opcode != OP_CREATE_NAK)) return;
  const auto block = decode_create_answer(d, opcode);
  if (!block) return;
  // Not `now`: that was read before the waiting datagrams were drained, and each
  // answer may have the Client read on for half a second before the next. While
  // a keep-alive's answer keeps bringing the next, the drain goes on for minutes.
  last_answer_ = tick_count();
  on_answer(opcode, *block, tail_ ? aor::answered_send_number(d) : std::nullopt, now);
  fill_window(now);
}

void CreateUpload::on_answer(std::uint16_t opcode, std::uint32_t block, std::optional<std::uint32_t> echoed,
                             Tick now) {
  // The packet this answers, or the earliest it can be.
  const std::uint32_t about = echoed.value_or(next_answer_at_least_);
  if (!echoed) next_answer_at_least_ = std::min(about + 1, sends_);
  if (opcode == OP_CREATE_ACK) {
    if (block < base_ || block >= sent_end_) return;  // old news, or no block of ours
    const Block& b = blocks_[block - base_];
    if (!echoed) next_answer_at_least_ = std::min(std::max(about, b.first_send) + 1, sends_);
    if (b.last) {
      complete_ = true;
      ended_ = true;
      const ImageBuilder& builder = stream_->builder();
      log_.note(link_.who(), "create complete: " + std::to_string(builder.produced()) + " image bytes from " +
                                 std::to_string(builder.read_bytes()) + " partition bytes in " +
                                 std::to_string(block + 1) + " blocks (" + std::to_string(sends_) +
                                 " datagrams, " + std::to_string(resends_) + " sent again)");
      return;
    }
    taken_below(block + 1, now);
    return;
  }
  // A refusal names the block the Controller expects: everything before it is taken.
  if (block < base_ || block > sent_end_) return;
  taken_below(block, now);
  if (block == sent_end_) return;  // all we sent is taken; nothing was lost
  // The refused packet left after our last send of the named block: that block
  // was lost. A packet that left before it says nothing new.
  if (about > blocks_.front().last_send && next_ > block) {
    next_ = block;
    note_progress(now);
    window_.lost();
  }
}

void CreateUpload::note_progress(Tick now) {
  // `now` can be older than the last note: the event loop took it before
  // answers that made this Client wait for compression.
  if (tick_later(now, last_progress_)) last_progress_ = now;
}

void CreateUpload::go_back(Tick now) {
  next_ = base_;
  window_.timed_out();
  last_progress_ = now;
  resend_after_ = std::min<Tick>(resend_after_ * 2, timing_.longest_resend);
  fill_window(now);
}

void CreateUpload::on_tick(Tick now) {
  if (ended_ || silent_) return;
  if (tick_reached(now, last_answer_ + timing_.give_up)) {
    fail("no answer from the Controller for " + std::to_string(timing_.give_up / 1000) + " s");
    return;
  }
  if (base_ >= sent_end_) return;
  if (blocks_.front().last) {
    // Only the end is left: the Controller answers it once it has closed the file.
    if (tick_reached(now, last_send_ + timing_.end_repeat)) send(base_, now);
    return;
  }
  if (tick_reached(now, last_progress_ + resend_after_)) go_back(now);
}

std::optional<Tick> CreateUpload::next_deadline() const {
  if (ended_ || silent_ || base_ >= sent_end_) return std::nullopt;
  if (blocks_.front().last) return last_send_ + timing_.end_repeat;
  return last_progress_ + resend_after_;
}

void CreateUpload::fail(const std::string& why) {
  if (ended_) return;
  log_.note(link_.who(), "create failed: " + why);
  ended_ = true;
  complete_ = false;
}

void CreateUpload::cancel(const std::string& why) { fail(why); }

}  // namespace kestrelon::client
