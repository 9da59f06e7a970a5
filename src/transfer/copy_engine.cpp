#include "transfer/copy_engine.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestrelon {
namespace {
std::int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

std::uint16_t CopyOptions::flags() const {
  std::uint16_t f = 0;
  if (keep_partition_size) f |= wire::kFlagKeepPartitionSize;
  if (unique_sid) f |= wire::kFlagUniqueSid;
  if (sector_by_sector) f |= wire::kFlagSectorBySector;
  return f;
}

CopyEngine::CopyEngine(ClientTables& tables, ProgramLocks& locks, const EndpointTable& endpoints,
                       UserMessages& ui, TransferStats& stats, const Clock& clock)
    : tables_(tables), locks_(locks), endpoints_(endpoints), ui_(ui), stats_(stats), clock_(clock), sender_(endpoints) {}

void CopyEngine::set_tuning(const CopyTuning& t) {
  rc_.store(t.rc);
  rt_.store(t.rt);
  nt_.store(t.nt);
  fast_.store(t.fast);
  rate_mbs_.store(t.rate_mbs);
}

CopyTuning CopyEngine::tuning() const {
  return CopyTuning{rc_.load(), rt_.load(), nt_.load(), fast_.load(), rate_mbs_.load()};
}

void CopyEngine::attach_dialog(TransferDialogHooks* hooks) {
  std::lock_guard hold(dialog_mutex_);
  dialog_ = hooks;
}

bool CopyEngine::has_dialog() const {
  std::lock_guard hold(dialog_mutex_);
  return dialog_ != nullptr;
}

template <class F>
void CopyEngine::with_dialog(F&& f) {
  std::lock_guard hold(dialog_mutex_);
  if (dialog_) f(*dialog_);
}

bool CopyEngine::copy_start(const ImageFile& file, const CopyOptions& options) {
  ready_count_.store(0);
  accepting_ready_.store(false);

  locks_.client_table.acquire();
  if (tables_.target_count == 0) {
    locks_.client_table.release();
    ui_.show_message(kNoTargetsText);
    return false;
  }
  const auto length = file.length();
  // Block numbers travel as 32 bits and the window arithmetic is signed: a file
  // with more blocks than that cannot be numbered (about 2.9 TB).
  if (!length || image::block_count(*length) > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    locks_.client_table.release();
    ui_.show_message(length ? kTooLargeText : "Could not read the image file " + file.path() + ".");
    return false;
  }

  total_bytes_.store(*length);
  sender_.start(&file, *length);
  sender_.hold(0);  // a read error here is retried before block 0 is sent

  start_datagram_ = wire::build_copy_start(wire::CopyStartFields{*length, file.name(), 0, options.flags()});
  ranked_count_.store(0);
  for (int i = 0; i < tables_.target_count; ++i) {
    ClientRecord& target = tables_.targets[static_cast<std::size_t>(i)];
    const int c = tables_.find_client(target.address);
    if (c >= 0) {
      const ClientRecord& client = tables_.clients[static_cast<std::size_t>(c)];
      target.selected_disk = client.selected_disk;
      target.interface_index = client.interface_index;
    }
    target.rank = 0;
    target.done = 0;
    target.ready = false;
  }
  send_copy_start(true);
  start_repeat_due_ = clock_.now() + kStartRepeat;
  targets_.store(tables_.target_count);
  set_acker(Ipv4Address(), 0);
  accepting_ready_.store(true);
  locks_.client_table.release();
  return true;
}

void CopyEngine::send_copy_start(bool lock_held) {
  if (!lock_held) locks_.client_table.acquire();
  for (int i = 0; i < tables_.target_count; ++i) {
    const ClientRecord& target = tables_.targets[static_cast<std::size_t>(i)];
    if (target.ready) continue;
    wire::set_copy_start_disk(start_datagram_, static_cast<std::uint16_t>(target.selected_disk));
    endpoints_.send(target.interface_index, start_datagram_, target.address, wire::kControlPort);
    if (CopyObserver* o = observer_.load()) o->start_sent(target.address);
  }
  if (!lock_held) locks_.client_table.release();
}

void CopyEngine::engine_start() {
  state_.store(sending);
  next_block_.store(0);
  first_done_deadline_.store(0);
  highest_acked_.store(-1);
  lowest_requested_.store(-1);
  // A fresh deadline and stall count: the ones left by an earlier copy would call
  // the first window "timed out" one tick after it was sent.
  stall_count_.store(0);
  activity_deadline_.store(clock_.now() + static_cast<Tick>(rt_.load()));
  with_dialog([](TransferDialogHooks& d) { d.set_progress_range(0, kProgressRange); });
  stats_.clear_progress();
  with_dialog([](TransferDialogHooks& d) { d.set_position(0); });
  all_done_ns_.store(0);
  blocks_sent_.store(0);
  resends_.clear();
  lagging_.clear();
  starts_.fetch_add(1);
  started_ns_.store(steady_ns());
  running_.store(true);  // last, so the worker sees every field above set
}

std::optional<double> CopyEngine::seconds_to_all_done() const {
  const std::int64_t end = all_done_ns_.load();
  const std::int64_t start = started_ns_.load();
  if (end == 0 || start == 0) return std::nullopt;
  return static_cast<double>(end - start) / 1e9;
}

void CopyEngine::engine_stop() {
  state_.store(stopped);
  accepting_ready_.store(false);
}

void CopyEngine::tick() {
  if (endpoints_.open_count() == 0) return;
  const Tick now = clock_.now();
  if (!running_.load()) {
    if (accepting_ready_.load()) tick_waiting_for_ready(now);
    return;
  }
  if (starts_.load() != starts_seen_) catch_up_with_start(now);
  if (fast_.load()) {
    if (state_.load() != stopped) tick_fast(now);
    return;
  }
  switch (state_.load()) {
    case sending:
      tick_sending(now);
      break;
    case resend_pending:
      tick_resend_pending(now);
      break;
    default:
      break;
  }
}

void CopyEngine::tick_waiting_for_ready(Tick now) {
  if (!tick_reached(now, start_repeat_due_)) return;
  start_repeat_due_ = now + kStartRepeat;
  send_copy_start(false);
}

void CopyEngine::catch_up_with_start(Tick now) {
  starts_seen_ = starts_.load();
  rate_cap_.set(rate_mbs_.load());
  rate_cap_.restart(now);
  probe_highest_ = -1;
  probe_wait_ = kProbeWait;
  probe_due_ = now + kProbeWait;
  resent_.fill(Resent{});
  resent_next_ = 0;
  nudged_at_ = now - 1;
}

void CopyEngine::tick_sending(Tick now) {
  if (lowest_requested_.load() != -1) {
    resend_time_.store(now);
    state_.store(resend_pending);
    return;
  }
  window_full_timeout(now);
  const int sent = burst(now, kBurst, block_total());
  if (sent == 0 || stats_.progress_total.load() == 0) return;
  update_progress();
}

void CopyEngine::window_full_timeout(Tick now) {
  if (!tick_later(now, activity_deadline_.load())) return;
  const std::int32_t highest = highest_acked_.load();
  if (std::int64_t{next_block_.load()} < std::int64_t{highest} + kWindow) return;
  // Window full and nothing acknowledged for "rt": send the window again.
  next_block_.store(highest + 1);
  sender_.hold(highest + 1);
  if (stall_count_.fetch_add(1) + 1 >= rc_.load()) {
    stall_count_.store(0);
    choose_another_acker();
  }
  activity_deadline_.store(now + static_cast<Tick>(rt_.load()));
}

void CopyEngine::tick_fast(Tick now) {
  serve_resend_requests(now);
  window_full_timeout(now);
  probe(now);
  const int sent = burst(now, kFastBurst, lag_end(now));
  // Stopped by the limit with more to send: tick again without waiting.
  if (sent == kFastBurst) work_.raise();
  if (sent == 0 || stats_.progress_total.load() == 0) return;
  update_progress();
}

void CopyEngine::serve_resend_requests(Tick now) {
  std::array<std::int32_t, ResendRequests::kCapacity> blocks;
  const int n = resends_.take(blocks);
  for (int i = 0; i < n; ++i) {
    const std::int32_t block = blocks[static_cast<std::size_t>(i)];
    const std::int32_t next = next_block_.load();
    // Not sent yet (a go-back is under way): it comes in its turn.
    if (block >= next) continue;
    if (next >= block_total()) {
      // Everything has been sent: no later block will show its Client the next
      // gap, so one request per lost block would cost a Client's wait each.
      // Everything from the lowest requested block on goes again; requests above
      // it are covered.
      next_block_.store(block);
      sender_.hold(block);
      return;
    }
    const Resent* before = resent_ending_at(block - 1);
    if (!before) {
      resend(now, block, 1);  // a lost block: the Client keeps what came after it
    } else if (!before->run) {
      // The block before it was just sent again alone, and its Client lost this
      // one too: a stretch was lost, or the Client keeps no blocks that arrive
      // early. The next run covers either.
      resend(now, block, static_cast<int>(std::min<std::int64_t>(CopySender::kMaxRun, next - block)));
    } else {
      // Right after a whole run: the Client needs everything from here on, in
      // order. Going back sends it at full speed; lower requests are served.
      next_block_.store(block);
      sender_.hold(block);
      return;
    }
  }
}

std::int64_t CopyEngine::lag_end(Tick now) {
  std::array<std::int32_t, LaggingClients::kCapacity> released;
  int released_count = 0;
  const std::int32_t lowest = lagging_.lowest(now, kLagQuiet, released, released_count);
  const std::int64_t next = next_block_.load();
  for (int i = 0; i < released_count; ++i) {
    // A Client let go while it held new blocks back has caught up, or lost the
    // block it asked for last: that block goes once more, so it need not wait
    // for its own repeat.
    const std::int32_t block = released[static_cast<std::size_t>(i)];
    if (next - block >= kLagLimit) resend(now, block, 1);
  }
  if (lowest < 0) return block_total();
  const std::int64_t end = std::min(std::int64_t{lowest} + kLagLimit, block_total());
  if (next >= end && next < block_total() && next > 0 && nudged_at_ != now) {
    nudged_at_ = now;
    send_again(now, static_cast<std::int32_t>(next - 1), 1);
  }
  return end;
}

int CopyEngine::send_again(Tick now, std::int32_t first, int count) {
  rate_cap_.allowance(now, count, image::kBlockSize);  // brings the bucket up to date
  // The run buffer is borrowed: the next burst reads its first block again.
  if (!sender_.hold(first)) return 0;
  const int out = sender_.send_run(count);
  rate_cap_.spend(out, image::kBlockSize);
  blocks_sent_.fetch_add(static_cast<std::uint64_t>(out), std::memory_order_relaxed);
  return out;
}

void CopyEngine::resend(Tick now, std::int32_t first, int count) {
  const int out = send_again(now, first, count);
  if (out == 0) return;
  resent_[static_cast<std::size_t>(resent_next_)] = Resent{first + out - 1, out > 1};
  resent_next_ = (resent_next_ + 1) % kResentMemory;
}

const CopyEngine::Resent* CopyEngine::resent_ending_at(std::int32_t block) const {
  if (block < 0) return nullptr;
  for (const Resent& r : resent_)
    if (r.last == block) return &r;
  return nullptr;
}

void CopyEngine::probe(Tick now) {
  const std::int32_t highest = highest_acked_.load();
  if (highest != probe_highest_) {
    probe_highest_ = highest;
    probe_wait_ = kProbeWait;
    probe_due_ = now + kProbeWait;
    return;
  }
  if (!tick_later(now, probe_due_)) return;
  const std::int64_t block = std::int64_t{highest} + 1;
  const std::int64_t next = next_block_.load();
  const bool stuck = next >= std::int64_t{highest} + kWindow || next >= block_total();
  if (stuck && block < next && block < block_total()) {
    resend(now, static_cast<std::int32_t>(block), 1);
    probe_wait_ = std::min<Tick>(probe_wait_ * 2, static_cast<Tick>(std::max(rt_.load(), 1)));
  }
  probe_due_ = now + probe_wait_;
}

void CopyEngine::tick_resend_pending(Tick now) {
  if (!tick_later(now, resend_time_.load() + static_cast<Tick>(nt_.load()))) return;
  // Taken in one step, so a lower request arriving now is not wiped out.
  const std::int32_t block = lowest_requested_.exchange(-1);
  if (block >= 0) {
    next_block_.store(block);
    sender_.hold(block);
  }
  state_.store(sending);
}

int CopyEngine::burst(Tick now, int limit, std::int64_t end) {
  const std::int64_t blocks = block_total();
  int sent = 0;
  while (sent < limit) {
    const std::int32_t block = next_block_.load();
    const std::int64_t room = std::int64_t{highest_acked_.load()} + kWindow - block;
    const auto wanted = static_cast<int>(
        std::min<std::int64_t>({limit - sent, room, end - block, std::int64_t{CopySender::kMaxRun}}));
    const int count = rate_cap_.allowance(now, wanted, image::kBlockSize);
    if (count <= 0) break;
    // After a read error the buffer holds no block; it must hold this one first.
    if (!sender_.hold(block)) break;
    const int out = sender_.send_run(count);
    next_block_.store(block + out);
    blocks_sent_.fetch_add(static_cast<std::uint64_t>(out), std::memory_order_relaxed);
    rate_cap_.spend(out, image::kBlockSize);
    sent += out;
    if (out < count) break;  // a read error ended the run
    // Read the next block now, while the window is open, as it is sent next.
    if (block + out < blocks && !sender_.hold(block + out)) break;
    if (lowest_requested_.load() != -1) break;
  }
  return sent;
}

void CopyEngine::update_progress() {
  stats_.fix_divisor_if_unset();
  if (const auto position = stats_.next_position()) {
    with_dialog([p = *position](TransferDialogHooks& d) { d.set_position(p); });
  }
}

void CopyEngine::set_acker(Ipv4Address address, int interface_index) {
  acker_.store((std::uint64_t{address.value()} << 32) | static_cast<std::uint32_t>(interface_index));
}

void CopyEngine::send_acker(Ipv4Address address, int interface_index) {
  endpoints_.send(interface_index, wire::build_acker(), address, wire::kControlPort);
  acker_designated_.store(true);
  if (CopyObserver* o = observer_.load()) o->acknowledging(address);
}

void CopyEngine::choose_another_acker() {
  Ipv4Address next_address;
  int next_interface = 0;
  int r = -1;
  {
    SemaphoreGuard hold(locks_.client_table);
    const int count = tables_.target_count;
    auto target = [&](int i) -> ClientRecord& { return tables_.targets[static_cast<std::size_t>(i)]; };
    auto holder_of = [&](int rank) {
      for (int i = 0; i < count; ++i)
        if (target(i).rank == rank) return i;
      return -1;
    };
    const Ipv4Address current = acker_address();
    int current_rank = 0;
    for (int i = 0; i < count; ++i) {
      if (target(i).rank != 0 && target(i).address == current) {
        current_rank = target(i).rank;
        break;
      }
    }
    if (current_rank > 0) {
      // Downward from the next lower rank, at most as many steps as there are targets.
      r = current_rank - 1;
      for (int step = 0; step < count && r > 0 && holder_of(r) < 0; ++step) --r;
      if (r > 0 && holder_of(r) < 0) r = 0;
    }
    if (r > 0) {
      const ClientRecord& t = target(holder_of(r));
      next_address = t.address;
      next_interface = t.interface_index;
      set_acker(next_address, next_interface);
    }
  }
  if (r > 0) {
    send_acker(next_address, next_interface);
  } else {
    // The acknowledging Client was rank 1, or has no rank: nobody is left to follow.
    with_dialog([](TransferDialogHooks& d) { d.request_cancel(); });
  }
}

void CopyEngine::on_copy_ack(const wire::CopyAck& ack, int endpoint_index) {
  // The file has no such block: taken as the highest acknowledged one, it would
  // open the window past the end and no block would be sent again for the rest
  // of the copy.
  if (ack.block >= image::block_count(total_bytes_.load())) {
    stray_.fetch_add(1);
    return;
  }
  notify(ack.client, CopyAnswer::acknowledgement, ack.block);
  stats_.report(ack.done_kib, ack.total_kib);
  const auto block = static_cast<std::int32_t>(ack.block);
  const int targets = targets_.load();
  if (ranked_count_.load() < targets && block >= kRankThreshold) {
    SemaphoreGuard hold(locks_.client_table);
    for (int i = 0; i < tables_.target_count; ++i) {
      ClientRecord& t = tables_.targets[static_cast<std::size_t>(i)];
      if (t.address != ack.client || t.rank != 0) continue;
      const int rank = ranked_count_.fetch_add(1) + 1;
      t.rank = rank;
      set_acker(t.address, endpoint_index);
      // The last target to reach block 32 is the first to be told it leads.
      if (rank == targets) send_acker(t.address, endpoint_index);
    }
  }
  if (block > highest_acked_.load()) {
    highest_acked_.store(block);
    stats_.acknowledgements.fetch_add(1);
    if (fast_.load()) work_.raise();  // the window has opened
  }
  stall_count_.store(0);
  activity_deadline_.store(clock_.now() + static_cast<Tick>(rt_.load()));
}

void CopyEngine::on_copy_nak(const wire::CopyNak& nak, int /*endpoint_index*/, Ipv4Address from) {
  notify(from, CopyAnswer::resend_request, nak.block);
  stats_.report(nak.done_kib, nak.total_kib);
  const auto block = static_cast<std::int32_t>(nak.block);
  // A request for a block the file does not have cannot be served; following it
  // would move the send position past the end and stall the copy until a timeout.
  if (block < 0 || static_cast<std::uint64_t>(block) >= image::block_count(total_bytes_.load())) return;
  if (fast_.load()) {
    lagging_.heard(from, block, clock_.now());
    if (resends_.add(block)) stats_.retries.fetch_add(1);
    work_.raise();
    return;
  }
  std::int32_t pending = lowest_requested_.load();
  while (pending == -1 || block < pending) {
    if (lowest_requested_.compare_exchange_weak(pending, block)) {
      stats_.retries.fetch_add(1);
      return;
    }
  }
}

void CopyEngine::on_copy_done(const wire::CopyDone& done, int /*endpoint_index*/) {
  notify(done.client, CopyAnswer::done);
  SemaphoreGuard hold(locks_.client_table);
  const int i = tables_.find_target(done.client);
  if (i >= 0) {
    if (first_done_deadline_.load() == 0) {
      const Tick deadline = clock_.now() + kFirstDoneGrace;
      first_done_deadline_.store(deadline == 0 ? 1 : deadline);  // 0 means "none yet"
    }
    tables_.targets[static_cast<std::size_t>(i)].done = 1;
  }
  int done_count = 0;
  for (int k = 0; k < tables_.target_count; ++k) done_count += tables_.targets[static_cast<std::size_t>(k)].done;
  if (done_count == tables_.target_count) {
    all_done_ns_.store(steady_ns());
    running_.store(false);
    with_dialog([](TransferDialogHooks& d) { d.request_cancel(); });
  }
}

void CopyEngine::on_copy_ready(Ipv4Address from, int /*endpoint_index*/) {
  notify(from, CopyAnswer::ready);
  // Only between Copy start and Engine start. A repeated answer after the engine
  // has started is ignored: Engine start would rewind to block 0 while the send
  // buffer holds a later block, and restarting for every repeat would throw away
  // what every other target has received.
  if (!accepting_ready_.load()) return;
  {
    // Each target counts once: a Client that repeats its answer (its first one may
    // have been lost) must not make up for a target that has not answered, or the
    // copy would start without that target and report it failed. An answer from
    // an address that is no target counts for nothing, for the same reason.
    SemaphoreGuard hold(locks_.client_table);
    const int i = tables_.find_target(from);
    if (i < 0) {
      stray_.fetch_add(1);
      return;
    }
    ClientRecord& target = tables_.targets[static_cast<std::size_t>(i)];
    if (target.ready) return;
    target.ready = true;
  }
  if (ready_count_.fetch_add(1) + 1 == targets_.load() && accepting_ready_.exchange(false)) engine_start();
}

}  // namespace kestrelon
