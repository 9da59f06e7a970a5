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
    if (CopyNames* n = names_.load()) {
      n->start_sent(target.address, target.interface_index, static_cast<std::uint16_t>(target.selected_disk),
                    clock_.now());
    }
  }
  if (!lock_held) locks_.client_table.release();
}

void CopyEngine::engine_start() {
  state_.store(sending);
  next_block_.store(0);
  first_done_deadline_.store(0);
  highest_acked_.store(-1);
  default_pacing_.clear();
  fast_pacing_.clear();
  // A fresh deadline and stall count: the ones left by an earlier copy would call
  // the first window "timed out" one tick after it was sent.
  stall_count_.store(0);
  activity_deadline_.store(clock_.now() + static_cast<Tick>(rt_.load()));
  with_dialog([](TransferDialogHooks& d) { d.set_progress_range(0, kProgressRange); });
  stats_.clear_progress();
  with_dialog([](TransferDialogHooks& d) { d.set_position(0); });
  all_done_ns_.store(0);
  blocks_sent_.store(0);
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

int CopyEngine::state() const {
  const int s = state_.load();
  return s == sending && !fast_.load() && default_pacing_.resend_pending() ? resend_pending : s;
}

void CopyEngine::tick() {
  if (endpoints_.open_count() == 0) return;
  const Tick now = clock_.now();
  if (CopyNames* n = names_.load()) n->tick(now);
  if (!running_.load()) {
    if (accepting_ready_.load()) tick_waiting_for_ready(now);
    return;
  }
  if (starts_.load() != starts_seen_) catch_up_with_start(now);
  if (state_.load() == stopped) return;
  const int sent = pacing().tick(now);
  if (sent == 0 || stats_.progress_total.load() == 0) return;
  update_progress();
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
  pacing().restart(now);
}

bool CopyEngine::window_full() const {
  return std::int64_t{next_block_.load()} >= std::int64_t{highest_acked_.load()} + kWindow;
}

void CopyEngine::go_back(std::int32_t block) {
  next_block_.store(block);
  sender_.hold(block);
}

void CopyEngine::window_full_timeout(Tick now) {
  if (!tick_later(now, activity_deadline_.load())) return;
  if (!window_full()) return;
  // Window full and nothing acknowledged for "rt": send the window again.
  go_back(highest_acked_.load() + 1);
  if (stall_count_.fetch_add(1) + 1 >= rc_.load()) {
    stall_count_.store(0);
    choose_another_acker();
  }
  activity_deadline_.store(now + static_cast<Tick>(rt_.load()));
}

int CopyEngine::send_again(Tick now, std::int32_t first, int count) {
  // Charged to the rate cap like every block: resend requests (from a lossy
  // Client, or forged in its name) must not make the copy exceed it.
  const int allowed = rate_cap_.allowance(now, count, image::kBlockSize);
  // The run buffer is borrowed: the next burst reads its first block again.
  if (allowed <= 0 || !sender_.hold(first)) return 0;
  const int out = sender_.send_run(allowed);
  rate_cap_.spend(out, image::kBlockSize);
  blocks_sent_.fetch_add(static_cast<std::uint64_t>(out), std::memory_order_relaxed);
  return out;
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
    if (pacing().resend_waiting()) break;
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

bool CopyEngine::is_target(Ipv4Address from) const {
  SemaphoreGuard hold(locks_.client_table);
  return is_target_locked(from);
}

void CopyEngine::on_copy_ack(const wire::CopyAck& ack, int endpoint_index, Ipv4Address from) {
  // The file has no such block: taken as the highest acknowledged one, it would
  // open the window past the end and no block would be sent again for the rest
  // of the copy.
  if (ack.block >= image::block_count(total_bytes_.load())) {
    stray_.fetch_add(1);
    return;
  }
  const auto block = static_cast<std::int32_t>(ack.block);
  const int targets = targets_.load();
  {
    // Only a target acknowledges, from its own address: another host's
    // acknowledgement would move the window past blocks no target has, and its
    // progress figures would be shown as the copy's.
    SemaphoreGuard hold(locks_.client_table);
    const int i = ack.client == from ? tables_.find_target(from) : -1;
    if (i < 0) {
      stray_.fetch_add(1);
      return;
    }
    ClientRecord& t = tables_.targets[static_cast<std::size_t>(i)];
    if (ranked_count_.load() < targets && block >= kRankThreshold && t.rank == 0) {
      const int rank = ranked_count_.fetch_add(1) + 1;
      t.rank = rank;
      set_acker(t.address, endpoint_index);
      // The last target to reach block 32 is the first to be told it leads.
      if (rank == targets) send_acker(t.address, endpoint_index);
    }
  }
  notify(ack.client, CopyAnswer::acknowledgement, ack.block);
  stats_.report(ack.done_kib, ack.total_kib);
  if (block > highest_acked_.load()) {
    highest_acked_.store(block);
    stats_.acknowledgements.fetch_add(1);
    if (fast_.load()) work_.raise();  // the window has opened
  }
  stall_count_.store(0);
  activity_deadline_.store(clock_.now() + static_cast<Tick>(rt_.load()));
}

void CopyEngine::on_copy_nak(const wire::CopyNak& nak, int /*endpoint_index*/, Ipv4Address from) {
  // A resend request makes every target wait, and in fast mode it holds new
  // blocks back: only a target may ask.
  if (!is_target(from)) {
    stray_.fetch_add(1);
    return;
  }
  notify(from, CopyAnswer::resend_request, nak.block);
  stats_.report(nak.done_kib, nak.total_kib);
  const auto block = static_cast<std::int32_t>(nak.block);
  // A request for a block the file does not have cannot be served; following it
  // would move the send position past the end and stall the copy until a timeout.
  if (block < 0 || static_cast<std::uint64_t>(block) >= image::block_count(total_bytes_.load())) return;
  if (pacing().resend_requested(from, block, clock_.now())) stats_.retries.fetch_add(1);
}

void CopyEngine::on_copy_done(const wire::CopyDone& done, int /*endpoint_index*/, Ipv4Address from) {
  // Only the target it names, from that target's address: a completion from
  // anyone else would end the copy as done for Clients that have nothing.
  if (done.client != from || !is_target(from)) {
    stray_.fetch_add(1);
    return;
  }
  if (CopyObserver* o = observer_.load(); o && !done.report.empty()) o->reported(done.client, done.report);
  notify(done.client, CopyAnswer::done);
  SemaphoreGuard hold(locks_.client_table);
  const int i = tables_.find_target(done.client);
  if (i < 0) return;
  if (first_done_deadline_.load() == 0) {
    const Tick deadline = clock_.now() + kFirstDoneGrace;
    first_done_deadline_.store(deadline == 0 ? 1 : deadline);  // 0 means "none yet"
  }
  tables_.targets[static_cast<std::size_t>(i)].done = 1;
  int done_count = 0;
  for (int k = 0; k < tables_.target_count; ++k) done_count += tables_.targets[static_cast<std::size_t>(k)].done;
  if (done_count == tables_.target_count) {
    all_done_ns_.store(steady_ns());
    running_.store(false);
    // Every target holds the whole image: the dialog's last look says so, even
    // when the worker stopped before it passed the last acknowledgement's
    // figures on.
    const std::uint32_t total = stats_.progress_total.load();
    stats_.report(total, total);
    update_progress();
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
