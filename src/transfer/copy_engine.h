#pragma once
// The multicast copy engine: sends one image file to every target at once as
// numbered 1350-byte blocks to the data group, within a window of 19 blocks past
// the highest acknowledged block, following one acknowledging Client at a time.
//
// Driven from three sides: the copy worker calls tick() every millisecond; the
// receive dispatcher delivers the Clients' answers (CopyPacketHandler); the
// Transfer dialog starts the copy when it opens and stops the worker when it ends.
//
// By default at most 20 blocks go out per tick and a resend request makes the
// engine wait "nt" and go back to the requested block. In fast mode (opt-in) the
// worker is also woken by every acknowledgement that opens the window and sends
// at once, and a resend request is served by sending that one block and going on
// (going back when a Client evidently lost what followed it too, or once the
// whole file has been sent). In
// both modes an optional rate cap bounds what is sent, and the window, the
// datagrams and the acknowledging Client's role are the same.
//
// The window fields are single 32-bit (or 64-bit) atomics, each written by one
// store, read by the worker and the receive threads without a lock. The target
// table is touched only under the client table lock. What only the worker uses
// (the sender, the rate cap, fast mode's probe and resend memory) is reset by the
// worker itself when it sees that a new copy has started.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "net/client_record.h"
#include "net/endpoint_table.h"
#include "net/packet_handlers.h"
#include "net/program_locks.h"
#include "net/user_messages.h"
#include "net/wire_format.h"
#include "platform/clock.h"
#include "platform/wake_signal.h"
#include "transfer/copy_observer.h"
#include "transfer/copy_sender.h"
#include "transfer/image_file.h"
#include "transfer/lagging_clients.h"
#include "transfer/rate_cap.h"
#include "transfer/resend_requests.h"
#include "transfer/transfer_dialog_hooks.h"
#include "transfer/transfer_stats.h"

namespace kestrelon {

// The command-line tuning values the engine uses.
struct CopyTuning {
  int rc = 50;   // window-full timeouts in a row before another acknowledging Client is chosen
  int rt = 300;  // ms: activity deadline after an acknowledgement or a window-full timeout
  int nt = 11;   // ms: wait in the resend-pending state before going back
  bool fast = false;  // send as acknowledgements open the window; resend requested blocks alone
  int rate_mbs = 0;   // MB/s (10^6 bytes of image per second) at most; 0 = no cap
};

// The three preferences that travel with every copy.
struct CopyOptions {
  bool keep_partition_size = false;
  bool unique_sid = false;
  bool sector_by_sector = false;
  std::uint16_t flags() const;
};

class CopyEngine final : public CopyPacketHandler {
 public:
  static constexpr std::int32_t kWindow = 20;        // blocks below highest acknowledged + 20
  static constexpr int kBurst = 20;                  // blocks per tick at most
  // Fast mode: blocks per tick at most (the window bounds it, except after going
  // back); more waiting makes the worker tick again at once.
  static constexpr int kFastBurst = 4 * CopySender::kMaxRun;
  // Fast mode: with the window full (or everything sent) and the highest
  // acknowledged block standing still this long, the block after it is sent
  // again on its own; the wait doubles each time, up to "rt".
  static constexpr Tick kProbeWait = 4;
  // Fast mode: how many stretches of selectively resent blocks are remembered. A
  // request for the block right after a single resent block is answered with
  // the next 20 blocks; a request right after such a run means its Client keeps
  // no blocks that arrive early (or lost more than a run): the engine goes back.
  static constexpr int kResentMemory = 32;
  // Fast mode: no new block goes out this many blocks or more past the lowest
  // block a Client asked for within the last kLagQuiet ms. The reference Client
  // keeps at least 1024 early blocks, so one held this close loses none of them.
  static constexpr std::int32_t kLagLimit = 1000;
  static constexpr Tick kLagQuiet = 3;
  static constexpr std::int32_t kRankThreshold = 32;
  static constexpr Tick kFirstDoneGrace = 5000;
  // While targets have not answered OP_COPY_READY, OP_COPY_START goes to them again
  // this often: a lost request would otherwise hold the copy until Cancel.
  static constexpr Tick kStartRepeat = 1000;
  static constexpr const char* kNoTargetsText = "No clients have been checked (discovered) !";
  static constexpr const char* kTooLargeText =
      "The image file is too large to be copied: its blocks cannot be numbered.";

  enum State : int { stopped = 0, sending = 1, resend_pending = 2 };

  CopyEngine(ClientTables& tables, ProgramLocks& locks, const EndpointTable& endpoints, UserMessages& ui,
             TransferStats& stats, const Clock& clock);
  CopyEngine(const CopyEngine&) = delete;
  CopyEngine& operator=(const CopyEngine&) = delete;

  void set_tuning(const CopyTuning& t);
  CopyTuning tuning() const;

  // The Transfer dialog the engine reports to, or null. Once this returns, no
  // call to the previous hooks is in progress or will be made.
  void attach_dialog(TransferDialogHooks* hooks);
  bool has_dialog() const;

  // Who follows the targets one by one (set once, before any copy), or null.
  void set_observer(CopyObserver* observer) { observer_.store(observer); }

  // Called once by the Transfer dialog when it opens (user-interface thread). Tells
  // every target about the copy; false (after a message) when there is none.
  bool copy_start(const ImageFile& file, const CopyOptions& options);
  // Called when every target has answered OP_COPY_READY.
  void engine_start();
  // Called by the copy worker every millisecond (from Copy start on).
  void tick();
  // Called by the copy worker as it ends.
  void engine_stop();
  // Fast mode: the copy worker waits here between ticks, until `deadline`
  // (CLOCK_MONOTONIC) or until an acknowledgement, a resend request or a stop
  // gives it something to do.
  bool fast_mode() const { return fast_.load(); }
  void wait_for_work(const timespec& deadline) { work_.wait_until(deadline); }

  // CopyPacketHandler (receive threads, receive lock held).
  bool copy_running() const override { return running_.load(); }
  void on_copy_ack(const wire::CopyAck& ack, int endpoint_index) override;
  void on_copy_nak(const wire::CopyNak& nak, int endpoint_index, Ipv4Address from) override;
  void on_copy_done(const wire::CopyDone& done, int endpoint_index) override;
  void on_copy_ready(Ipv4Address from, int endpoint_index) override;

  // The worker's stop flag.
  void request_stop() {
    stop_.store(true);
    work_.raise();
  }
  void clear_stop() { stop_.store(false); }
  bool stop_requested() const { return stop_.load(); }

  // Copy fields the flows, the supervision and the Transfer dialog read or reset.
  void clear_running() { running_.store(false); }
  Tick first_done_deadline() const { return first_done_deadline_.load(); }
  bool acker_designated() const { return acker_designated_.load(); }
  void clear_acker_designated() { acker_designated_.store(false); }
  Ipv4Address acker_address() const { return Ipv4Address(static_cast<std::uint32_t>(acker_.load() >> 32)); }
  int acker_interface() const { return static_cast<std::int32_t>(acker_.load() & 0xffffffffu); }
  int target_count() const { return targets_.load(); }

  // For tests and diagnostics.
  int state() const { return state_.load(); }
  std::int32_t next_block() const { return next_block_.load(); }
  std::int32_t highest_acknowledged() const { return highest_acked_.load(); }
  std::int32_t lowest_requested() const { return lowest_requested_.load(); }
  int stall_count() const { return stall_count_.load(); }
  int ranked_count() const { return ranked_count_.load(); }
  int ready_count() const { return ready_count_.load(); }
  std::uint64_t total_bytes() const { return total_bytes_.load(); }
  std::uint64_t blocks_sent() const { return blocks_sent_.load(); }
  // Answers dropped as no target's or for no block of the file, over the run.
  std::uint64_t stray_answers() const { return stray_.load(); }
  // Seconds from Engine start until every target was done; nullopt while not all are.
  std::optional<double> seconds_to_all_done() const;

 private:
  void tick_waiting_for_ready(Tick now);
  // Sends OP_COPY_START to every target that has not answered (all of them at
  // Copy start). Takes the client table lock unless the caller holds it.
  void send_copy_start(bool lock_held);
  void tick_sending(Tick now);
  void tick_resend_pending(Tick now);
  void tick_fast(Tick now);
  // A new copy has started since the worker last looked: it resets what only it uses.
  void catch_up_with_start(Tick now);
  // With the window full and nothing acknowledged for "rt": the window is sent again.
  void window_full_timeout(Tick now);
  // Sends the window's next blocks, at most `limit` and none from `end` on;
  // returns how many went out.
  int burst(Tick now, int limit, std::int64_t end);
  // Fast mode: serves the waiting resend requests.
  void serve_resend_requests(Tick now);
  // Fast mode: sends the block after the highest acknowledged one again when the
  // acknowledgements have stopped with nothing else to send.
  void probe(Tick now);
  // Fast mode: where new blocks must stop so that no Client that asks for blocks
  // again falls more than kLagLimit behind. While they are held, the newest sent
  // block goes again once a tick: a lagging Client only asks for its next gap
  // when a block after it arrives.
  std::int64_t lag_end(Tick now);
  // Sends `count` blocks from `first` on again, leaving the send position as it is.
  void resend(Tick now, std::int32_t first, int count);
  // The same without remembering it; returns how many went out.
  int send_again(Tick now, std::int32_t first, int count);
  struct Resent {
    std::int32_t last = -1;  // the last block of the stretch
    bool run = false;        // more than one block
  };
  // The remembered stretch that ends with `block`, or null.
  const Resent* resent_ending_at(std::int32_t block) const;
  std::int64_t block_total() const { return static_cast<std::int64_t>(image::block_count(total_bytes_.load())); }
  void update_progress();
  void choose_another_acker();
  void set_acker(Ipv4Address address, int interface_index);
  void send_acker(Ipv4Address address, int interface_index);
  template <class F>
  void with_dialog(F&& f);
  void notify(Ipv4Address from, CopyAnswer answer, std::uint32_t block = 0) {
    if (CopyObserver* o = observer_.load()) o->heard(from, answer, block);
  }

  ClientTables& tables_;
  ProgramLocks& locks_;
  const EndpointTable& endpoints_;
  UserMessages& ui_;
  TransferStats& stats_;
  const Clock& clock_;

  std::atomic<int> rc_{50};
  std::atomic<int> rt_{300};
  std::atomic<int> nt_{11};
  std::atomic<bool> fast_{false};
  std::atomic<int> rate_mbs_{0};

  std::atomic<CopyObserver*> observer_{nullptr};
  mutable std::mutex dialog_mutex_;
  TransferDialogHooks* dialog_ = nullptr;

  // The send buffer. Prepared by copy_start, then used by the worker only.
  CopySender sender_;
  // Incremented by every Engine start; the worker compares it with its own count.
  std::atomic<std::uint32_t> starts_{0};
  // Worker only.
  std::uint32_t starts_seen_ = 0;
  RateCap rate_cap_;
  std::int32_t probe_highest_ = -1;  // the highest acknowledged block when last looked
  Tick probe_wait_ = kProbeWait;
  Tick probe_due_ = 0;
  std::array<Resent, kResentMemory> resent_{};
  int resent_next_ = 0;
  // Fast mode: requests from the receive threads, and the worker's wake-up.
  ResendRequests resends_;
  LaggingClients lagging_;
  Tick nudged_at_ = 0;  // worker only: the tick of the last block sent to wake a lagging Client
  WakeSignal work_;

  std::atomic<std::uint64_t> total_bytes_{0};
  std::atomic<int> state_{stopped};
  std::atomic<std::int32_t> next_block_{0};
  std::atomic<std::int32_t> highest_acked_{-1};
  std::atomic<std::int32_t> lowest_requested_{-1};
  std::atomic<Tick> activity_deadline_{0};
  std::atomic<Tick> resend_time_{0};
  std::atomic<int> stall_count_{0};
  std::atomic<int> ranked_count_{0};
  std::atomic<std::uint64_t> acker_{0};  // address << 32 | interface index, one store
  std::atomic<bool> acker_designated_{false};
  std::atomic<bool> running_{false};
  std::atomic<int> ready_count_{0};
  std::atomic<bool> accepting_ready_{false};  // from Copy start until Engine start or stop
  // Built by copy_start, then read by the worker only (the disk field per target).
  std::array<std::uint8_t, wire::kCopyStartLength> start_datagram_{};
  Tick start_repeat_due_ = 0;  // worker only
  std::atomic<int> targets_{0};  // the target count at copy start
  std::atomic<Tick> first_done_deadline_{0};
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> blocks_sent_{0};
  std::atomic<std::uint64_t> stray_{0};
  // Steady-clock nanoseconds, for the copy's duration (not for its logic).
  std::atomic<std::int64_t> started_ns_{0};
  std::atomic<std::int64_t> all_done_ns_{0};
};

}  // namespace kestrelon
