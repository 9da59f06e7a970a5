#include "copy_receive.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "datagram_batch.h"
#include "model/computer_name.h"
#include "net/wire_format.h"

namespace kestrelon::client {

using namespace kestrelon::wire;

namespace {
constexpr std::uint32_t kRankBlock = 32;
constexpr int kDataReceiveBuffer = 4 << 20;
}  // namespace

std::uint32_t reorder_blocks_for(int clients) {
  return std::max<std::uint32_t>(1024, CopyTiming{}.reorder_blocks / static_cast<std::uint32_t>(std::max(clients, 1)));
}

CopyReceive::CopyReceive(ClientLink& link, ClientLog& log, Ipv4Address controller, CopyStart start,
                         std::unique_ptr<CopySink> sink, CopyTiming timing)
    : link_(link),
      log_(log),
      controller_(controller),
      start_(std::move(start)),
      sink_(std::move(sink)),
      timing_(timing),
      stored_(timing.reorder_blocks),
      stored_block_(timing.reorder_blocks, 0),
      stored_used_(timing.reorder_blocks, false) {}

CopyReceive::~CopyReceive() {
  if (!complete_ && sink_) sink_->abandon();
}

bool CopyReceive::open_data(std::string* error) {
  const auto failed = [&](const std::string& what, int rc) {
    if (error) *error = what + ": " + std::strerror(rc);
    data_.close();
    return false;
  };
  if (int rc = data_.open(); rc != 0) return failed("opening the data socket", rc);
  data_.set_reuse_address(true);
  if (int rc = data_.bind(start_.data_group, start_.data_port); rc != 0) {
    return failed("binding the data group " + start_.data_group.text() + ":" + std::to_string(start_.data_port), rc);
  }
  if (int rc = data_.join_group(start_.data_group, link_.self()); rc != 0) {
    return failed("joining the data group on the interface of " + link_.self().text(), rc);
  }
  // A big buffer rides out bursts while the disk is busy; root may pass the
  // machine's limit, anyone else gets what the limit allows.
  if (::setsockopt(data_.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &kDataReceiveBuffer, sizeof kDataReceiveBuffer) != 0) {
    data_.set_receive_buffer(kDataReceiveBuffer);
  }
  // Bursts of blocks then arrive as a few messages instead of one each.
  enable_datagram_joining(data_.fd());
  data_.set_nonblocking(true);
  return true;
}

void CopyReceive::begin(Tick now) {
  begun_ = now;
  last_tick_ = now;
  last_datagram_ = now;
  last_progress_ = now;
  log_.detail(link_.who(), "copy of \"" + start_.file_name + "\" (" + std::to_string(start_.image_kib) +
                               " KiB) to " + sink_->where() + ": ready");
  for (int i = 0; i <= link_.faults().extra_ready; ++i) link_.send_to(encode_copy_ready(), controller_);
  ready_sent_ = 1;
}

bool CopyReceive::answer_repeated_start(const CopyStart& start, Ipv4Address from) {
  if (state_ != State::waiting || from != controller_ || !(start == start_)) return false;
  link_.send_to(encode_copy_ready(), controller_);
  return true;
}

bool CopyReceive::acknowledging() const {
  if (link_.faults().never_acknowledge) return false;
  return acker_ || self_appointed_ || rank_acks_sent_ < timing_.rank_acks;
}

std::uint32_t CopyReceive::done_kib() const { return static_cast<std::uint32_t>(delivered_ >> 10); }

std::uint32_t CopyReceive::total_kib() const {
  return length_ ? static_cast<std::uint32_t>(*length_ >> 10) : start_.image_kib;
}

bool CopyReceive::may_end_at(std::uint64_t length) const {
  return length >= min_length() && length <= min_length() + 1023;
}

void CopyReceive::on_control(std::uint16_t opcode, std::span<const std::uint8_t> datagram, Ipv4Address from,
                             Tick now) {
  if (state_ == State::ended) return;
  if (opcode == OP_COPY_NAME) {
    take_name(datagram, from);
    return;
  }
  if (opcode == OP_ABORT) {
    if (!complete_) fail("aborted by the Controller at block " + std::to_string(next_));
    end_transfer();
    return;
  }
  if (silent_) return;
  if (opcode == OP_ACKER) {
    // Anyone on the network can send it; obeyed from another host, it would send
    // this Client's acknowledgements there instead of to its Controller.
    if (from != controller_) {
      log_.detail(link_.who(), "ignored OP_ACKER from " + from.text() + ", which does not run this copy");
      return;
    }
    if (!acker_) log_.detail(link_.who(), "named the acknowledging Client");
    acker_ = true;
    if (next_ > 0 && state_ == State::receiving) acknowledge(now);
  }
}

void CopyReceive::take_name(std::span<const std::uint8_t> datagram, Ipv4Address from) {
  const auto name = decode_copy_name(datagram);
  // Another Client's name, or one for another disk, is not ours to take.
  if (!name || from != controller_ || name->target != link_.self() || name->disk != start_.disk) return;
  if (!name->computer_name.empty()) {
    if (const std::string why = computer_name_problem(name->computer_name); !why.empty()) {
      log_.note(link_.who(), "computer name \"" + name->computer_name + "\" refused: " + why);
      send_name_answer(NameAnswer::refused, NamingOutcome::not_asked, why);
      return;
    }
  }
  if (computer_name_ != name->computer_name) {
    computer_name_ = name->computer_name;
    if (!computer_name_->empty()) {
      log_.detail(link_.who(), "after a whole copy the copied systems will be named " + *computer_name_);
    }
  }
  send_name_answer(NameAnswer::taken, NamingOutcome::not_asked, "");
}

void CopyReceive::send_name_answer(NameAnswer answer, NamingOutcome outcome, const std::string& text) {
  link_.send_to(encode_copy_name_answer({link_.self(), answer, outcome, computer_name_.value_or(""), text}),
                controller_);
}

void CopyReceive::on_data(std::span<const std::uint8_t> datagram, Tick now) {
  if (state_ == State::ended) return;
  const auto opcode = opcode_of_controller_datagram(datagram);
  if (!opcode) return;
  if (*opcode == OP_ABORT) {
    on_control(*opcode, datagram, controller_, now);
    return;
  }
  if (silent_ || *opcode != OP_COPY_DATA) return;
  const auto block = decode_copy_data(datagram);
  if (!block) return;
  last_datagram_ = now;
  if (state_ == State::waiting) state_ = State::receiving;
  take_block(*block, now);
}

void CopyReceive::take_block(const CopyData& b, Tick now) {
  if (b.block < next_) {
    duplicate_seen_ = true;
    return;
  }
  if (length_ && std::uint64_t{b.block} * kBlockSize >= *length_) return;  // past the end
  highest_seen_ = std::max(highest_seen_, b.block);
  if (b.block == next_) {
    if (!deliver(b.block, b.data, now)) return;
    pull_stored(now);
  } else {
    if (b.block - next_ < timing_.reorder_blocks && !link_.faults().drop_out_of_order) {
      const std::size_t slot = b.block % timing_.reorder_blocks;
      if (!stored_used_[slot] || stored_block_[slot] != b.block) {
        stored_[slot].assign(b.data.begin(), b.data.end());
        stored_block_[slot] = b.block;
        stored_used_[slot] = true;
      }
    }
    // A gap: the lowest missing block is next_. The same block is asked for at
    // most once per hold-off (the rewind it causes resends everything after it);
    // a new missing block means the last request was served, so ask at once.
    if (!nak_sent_ || next_ != last_nak_block_ || tick_reached(now, last_nak_ + timing_.nak_holdoff)) {
      request_resend(now);
    }
  }
  if (state_ == State::receiving && acknowledging() && next_ > 0 &&
      static_cast<std::int64_t>(next_) - 1 - last_acked_ >= static_cast<std::int64_t>(timing_.ack_every)) {
    acknowledge(now);
  }
  check_complete(now);
}

bool CopyReceive::deliver(std::uint32_t block, std::span<const std::uint8_t> data, Tick now) {
  if (length_) {
    const std::uint64_t expected = std::min<std::uint64_t>(kBlockSize, *length_ - std::uint64_t{block} * kBlockSize);
    if (data.size() != expected) return false;  // not a block of this image
  } else if (data.size() < kBlockSize) {
    // A short block ends a file of any layout.
    const std::uint64_t end = std::uint64_t{block} * kBlockSize + data.size();
    if (!may_end_at(end) && !(block == 0 && image::probe_length(data))) return false;
  }
  if (block == 0) {
    const auto own = image::probe_length(data);
    if (own && may_end_at(*own)) {
      length_ = *own;
      if (data.size() != std::min<std::uint64_t>(kBlockSize, *own)) return false;
    } else {
      foreign_ = true;
      if (sink_->needs_own_layout()) {
        fail("\"" + start_.file_name + "\" is not an image this Client can restore");
        return false;
      }
    }
  }
  if (!length_ && data.size() < kBlockSize) length_ = std::uint64_t{block} * kBlockSize + data.size();
  if (!sink_->consume(data)) {
    fail(sink_->error());
    return false;
  }
  delivered_ += data.size();
  next_ = block + 1;
  last_progress_ = now;
  end_probes_ = 0;
  const FaultPlan& faults = link_.faults();
  if (faults.exit_after_block >= 0 && static_cast<std::int64_t>(block) >= faults.exit_after_block) {
    link_.fault_exit();
  }
  if (faults.silent_after_block >= 0 && static_cast<std::int64_t>(block) >= faults.silent_after_block) {
    log_.note(link_.who(), "going silent after block " + std::to_string(block) + " (--silent-after)");
    silent_ = true;
  }
  return true;
}

void CopyReceive::pull_stored(Tick now) {
  while (!silent_ && state_ == State::receiving) {
    const std::size_t slot = next_ % timing_.reorder_blocks;
    if (!stored_used_[slot] || stored_block_[slot] != next_) return;
    stored_used_[slot] = false;
    const std::vector<std::uint8_t> data = std::move(stored_[slot]);
    if (!deliver(next_, data, now)) return;
  }
}

void CopyReceive::check_complete(Tick now) {
  if (state_ != State::receiving || silent_ || !length_ || delivered_ < *length_) return;
  if (!sink_->finish()) {
    fail(sink_->error());
    return;
  }
  if (!sink_->error().empty()) log_.note(link_.who(), sink_->error());  // a warning after success
  complete_ = true;
  state_ = State::done;
  log_.note(link_.who(), "copy of \"" + start_.file_name + "\" complete: " + std::to_string(delivered_) +
                             " bytes to " + sink_->where());
  if (acknowledging()) acknowledge(now);
  done_ = encode_copy_done(link_.self(), sink_->done_report());
  for (const std::string& line : sink_->done_report()) log_.note(link_.who(), line);
  link_.send_to(done_, controller_);
  done_first_ = done_last_ = now;
}

void CopyReceive::acknowledge(Tick now) {
  if (link_.faults().never_acknowledge || next_ == 0) return;
  const std::uint32_t block = next_ - 1;
  link_.send_to(encode_copy_ack(block, link_.self(), done_kib(), total_kib()), controller_);
  if (!acker_ && !self_appointed_ && block >= kRankBlock && rank_acks_sent_ < timing_.rank_acks) ++rank_acks_sent_;
  last_acked_ = block;
  last_ack_time_ = now;
  duplicate_seen_ = false;
}

void CopyReceive::request_resend(Tick now) {
  link_.send_to(encode_copy_nak(next_, done_kib(), total_kib()), controller_);
  nak_sent_ = true;
  last_nak_ = now;
  last_nak_block_ = next_;
}

void CopyReceive::on_data_batch_end(Tick now) {
  if (silent_ || state_ == State::ended || state_ == State::waiting) return;
  if (!acknowledging() || next_ == 0) return;
  // The end of a burst: acknowledge what arrived since the last acknowledgement,
  // or, when the Controller is sending old blocks again (our acknowledgement was
  // lost), say where we are.
  if (static_cast<std::int64_t>(next_) - 1 > last_acked_ ||
      (duplicate_seen_ && tick_reached(now, last_ack_time_ + 5))) {
    acknowledge(now);
  }
}

void CopyReceive::on_tick(Tick now) {
  last_tick_ = now;
  if (silent_ || state_ == State::ended) return;
  if (state_ == State::waiting) {
    // Nothing yet: the Controller may not have heard our ready answer.
    if (ready_sent_ <= timing_.ready_repeats &&
        tick_reached(now, begun_ + timing_.ready_repeat * static_cast<Tick>(ready_sent_))) {
      link_.send_to(encode_copy_ready(), controller_);
      ++ready_sent_;
    }
    return;
  }
  if (state_ == State::done) {
    // The Controller does not answer OP_COPY_DONE. It has taken it once it sends
    // OP_ABORT (every target done, or the wait for the others over), or once it
    // has fallen silent; while it still sends blocks (to others, or to us because
    // our answer was lost) we keep saying done, less often after a while.
    if (tick_reached(now, last_datagram_ + timing_.done_quiet)) {
      log_.detail(link_.who(), "the Controller has fallen silent: the copy has ended");
      end_transfer();
      return;
    }
    const Tick every =
        tick_reached(now, done_first_ + timing_.done_linger) ? timing_.done_repeat_late : timing_.done_repeat;
    if (tick_reached(now, done_last_ + every)) {
      link_.send_to(done_, controller_);
      done_last_ = now;
    }
    return;
  }
  if (tick_reached(now, last_datagram_ + timing_.silence_limit)) {
    fail("nothing heard from the Controller for " + std::to_string(timing_.silence_limit / 1000) + " s");
    end_transfer();
    return;
  }
  if (rank_acks_sent_ >= timing_.rank_acks && !acker_ && !self_appointed_ &&
      !link_.faults().never_acknowledge && tick_reached(now, last_progress_ + timing_.rescue_ack)) {
    log_.note(link_.who(), "no progress for " + std::to_string(timing_.rescue_ack) +
                               " ms: acknowledging without being named");
    self_appointed_ = true;
    acknowledge(now);
  }
  if (highest_seen_ > next_ && tick_reached(now, last_datagram_ + timing_.nak_holdoff) &&
      tick_reached(now, last_nak_ + timing_.nak_holdoff)) {
    // A later block came, so the lowest missing one was lost; with nothing more
    // arriving (the end of a copy, or the window waiting for us) no gap would
    // make us ask again: ask every hold-off.
    request_resend(now);
    return;
  }
  if (tick_reached(now, last_datagram_ + timing_.stall_nak) && tick_reached(now, last_nak_ + timing_.stall_nak)) {
    // For a file of unknown layout, a length that is a multiple of 1350 and fits
    // the size in KiB may be the end: two requests for the next block unanswered
    // confirm it.
    if (foreign_ && !length_ && may_end_at(std::uint64_t{next_} * kBlockSize)) {
      if (end_probes_ >= 2) {
        length_ = std::uint64_t{next_} * kBlockSize;
        check_complete(now);
        return;
      }
      ++end_probes_;
    }
    request_resend(now);
  }
}

std::optional<Tick> CopyReceive::next_deadline() const {
  if (silent_ || state_ == State::ended) return std::nullopt;
  return last_tick_ + timing_.resolution;
}

void CopyReceive::fail(const std::string& why) {
  if (state_ == State::ended) return;
  log_.note(link_.who(), "copy of \"" + start_.file_name + "\" failed: " + why);
  if (sink_) sink_->abandon();
  complete_ = false;
  end_transfer();
}

void CopyReceive::end_transfer() {
  state_ = State::ended;
  data_.close();
  if (!complete_ || !sink_) return;
  const AfterCopyReport report =
      sink_->after_done({computer_name_.value_or(""), (start_.flags & kFlagUniqueSid) != 0});
  std::string text;
  for (const std::string& line : report.lines) {
    log_.note(link_.who(), line);
    text += (text.empty() ? "" : "\n") + line;
  }
  // No answer comes to a report: it goes three times, so one lost datagram
  // does not leave the Controller without it.
  if (computer_name_) {
    for (int i = 0; i < 3; ++i) send_name_answer(NameAnswer::report, report.naming, text);
  }
}

void CopyReceive::cancel(const std::string& why) {
  if (state_ == State::ended) return;
  if (!complete_) fail(why);
  end_transfer();
}

}  // namespace kestrelon::client
