#include "transfer/fast_pacing.h"

#include <algorithm>

namespace kestrelon {

void FastPacing::clear() {
  resends_.clear();
  lagging_.clear();
}

void FastPacing::restart(Tick now) {
  probe_highest_ = -1;
  probe_wait_ = kProbeWait;
  probe_due_ = now + kProbeWait;
  resent_.fill(Resent{});
  resent_next_ = 0;
  nudged_at_ = now - 1;
  new_blocks_first_ = false;
}

int FastPacing::tick(Tick now) {
  // Resends go first, unless last tick they took everything the rate cap allowed
  // and no new block went out: then new blocks go first this tick. So requests,
  // however many, slow a capped copy down to half its rate at worst, never to a
  // stop.
  const bool new_blocks_first = new_blocks_first_;
  int resent = new_blocks_first ? 0 : serve_resend_requests(now);
  port_.window_full_timeout(now);
  probe(now);
  const int sent = port_.burst(now, kBurst, lag_end(now));
  if (new_blocks_first) resent = serve_resend_requests(now);
  new_blocks_first_ = !new_blocks_first && resent > 0 && sent == 0 && port_.held_by_rate_cap();
  // Stopped by the limit with more to send: tick again without waiting.
  if (sent == kBurst) port_.wake_worker();
  return sent;
}

bool FastPacing::resend_requested(Ipv4Address from, std::int32_t block, Tick now) {
  lagging_.heard(from, block, now);
  const bool counted = resends_.add(block);
  port_.wake_worker();
  return counted;
}

int FastPacing::serve_resend_requests(Tick now) {
  std::array<std::int32_t, ResendRequests::kCapacity> blocks;
  const int n = resends_.take(blocks);
  int resent = 0;
  for (int i = 0; i < n; ++i) {
    const std::int32_t block = blocks[static_cast<std::size_t>(i)];
    const std::int32_t next = port_.next_block();
    // Not sent yet (a go-back is under way): it comes in its turn.
    if (block >= next) continue;
    if (next >= port_.block_total()) {
      // Everything has been sent: no later block will show its Client the next
      // gap, so one request per lost block would cost a Client's wait each.
      // Everything from the lowest requested block on goes again; requests above
      // it are covered.
      port_.go_back(block);
      return resent;
    }
    const Resent* before = resent_ending_at(block - 1);
    int out = 0;
    if (!before) {
      out = resend(now, block, 1);  // a lost block: the Client keeps what came after it
    } else if (!before->run) {
      // The block before it was just sent again alone, and its Client lost this
      // one too: a stretch was lost, or the Client keeps no blocks that arrive
      // early. The next run covers either.
      out = resend(now, block, static_cast<int>(std::min<std::int64_t>(CopySender::kMaxRun, next - block)));
    } else {
      // Right after a whole run: the Client needs everything from here on, in
      // order. Going back sends it at full speed; lower requests are served.
      port_.go_back(block);
      return resent;
    }
    if (out == 0) {
      // The rate cap (or a read error) let nothing out: the rest waits.
      for (int k = i; k < n; ++k) resends_.add(blocks[static_cast<std::size_t>(k)]);
      return resent;
    }
    resent += out;
  }
  return resent;
}

std::int64_t FastPacing::lag_end(Tick now) {
  std::array<std::int32_t, LaggingClients::kCapacity> released;
  int released_count = 0;
  const std::int32_t lowest = lagging_.lowest(now, kLagQuiet, released, released_count);
  const std::int64_t next = port_.next_block();
  const std::int64_t total = port_.block_total();
  for (int i = 0; i < released_count; ++i) {
    // A Client let go while it held new blocks back has caught up, or lost the
    // block it asked for last: that block goes once more, so it need not wait
    // for its own repeat.
    const std::int32_t block = released[static_cast<std::size_t>(i)];
    if (next - block >= kLagLimit) resend(now, block, 1);
  }
  if (lowest < 0) return total;
  const std::int64_t end = std::min(std::int64_t{lowest} + kLagLimit, total);
  if (next >= end && next < total && next > 0 && nudged_at_ != now) {
    nudged_at_ = now;
    port_.send_again(now, static_cast<std::int32_t>(next - 1), 1);
  }
  return end;
}

int FastPacing::resend(Tick now, std::int32_t first, int count) {
  const int out = port_.send_again(now, first, count);
  if (out == 0) return 0;
  resent_[static_cast<std::size_t>(resent_next_)] = Resent{first + out - 1, out > 1};
  resent_next_ = (resent_next_ + 1) % kResentMemory;
  return out;
}

const FastPacing::Resent* FastPacing::resent_ending_at(std::int32_t block) const {
  if (block < 0) return nullptr;
  for (const Resent& r : resent_)
    if (r.last == block) return &r;
  return nullptr;
}

void FastPacing::probe(Tick now) {
  const std::int32_t highest = port_.highest_acknowledged();
  if (highest != probe_highest_) {
    probe_highest_ = highest;
    probe_wait_ = kProbeWait;
    probe_due_ = now + kProbeWait;
    return;
  }
  if (!tick_later(now, probe_due_)) return;
  const std::int64_t block = std::int64_t{highest} + 1;
  const std::int64_t next = port_.next_block();
  const std::int64_t total = port_.block_total();
  const bool stuck = port_.window_full() || next >= total;
  if (stuck && block < next && block < total) {
    resend(now, static_cast<std::int32_t>(block), 1);
    probe_wait_ = std::min<Tick>(probe_wait_ * 2, std::max<Tick>(port_.ack_timeout(), 1));
  }
  probe_due_ = now + probe_wait_;
}

}  // namespace kestrelon
