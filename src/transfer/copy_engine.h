#pragma once
// The multicast copy engine: sends one image file to every target at once as
// numbered 1350-byte blocks to the data group, within a window of 19 blocks past
// the highest acknowledged block, following one acknowledging Client at a time.
//
// Driven from three sides: the copy worker calls tick() every millisecond; the
// receive dispatcher delivers the Clients' answers (CopyPacketHandler); the
// Transfer dialog starts the copy when it opens and stops the worker when it ends.
//
// The engine is the protocol: the targets, the window, the acknowledging
// Client, the answers and who may send them. When blocks go out and how a
// resend request is served is the pacing's: the default pacing
// (default_pacing.h) or, opt-in, the fast one (fast_pacing.h), in whose fast
// mode the worker is also woken by every acknowledgement that opens the window.
// In both an optional rate cap bounds everything sent, resends included.
//
// The window fields are single 32-bit (or 64-bit) atomics, each written by one
// store, read by the worker and the receive threads without a lock. The target
// table is touched only under the client table lock. What only the worker uses
// (the sender, the rate cap, the pacing's own memory) is reset by the worker
// itself when it sees that a new copy has started.
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
#include "transfer/copy_names.h"
#include "transfer/copy_observer.h"
#include "transfer/copy_pacing.h"
#include "transfer/copy_sender.h"
#include "transfer/default_pacing.h"
#include "transfer/fast_pacing.h"
#include "transfer/image_file.h"
#include "transfer/rate_cap.h"
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

class CopyEngine final : public CopyPacketHandler, private CopyPacingPort {
 public:
  static constexpr std::int32_t kWindow = 20;  // blocks below highest acknowledged + 20
  // The fast pacing's figures, as tests and the documentation name them.
  static constexpr Tick kProbeWait = FastPacing::kProbeWait;
  static constexpr std::int32_t kLagLimit = FastPacing::kLagLimit;
  static constexpr Tick kLagQuiet = FastPacing::kLagQuiet;
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
  // Who sends each target its computer name after its OP_COPY_START (set once), or null.
  void set_names(CopyNames* names) { names_.store(names); }

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
  // Answers count only from the targets, each from its own address: the
  // acknowledgement and the completion name their Client, and must come from it.
  void on_copy_ack(const wire::CopyAck& ack, int endpoint_index, Ipv4Address from) override;
  void on_copy_nak(const wire::CopyNak& nak, int endpoint_index, Ipv4Address from) override;
  void on_copy_done(const wire::CopyDone& done, int endpoint_index, Ipv4Address from) override;
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
  int state() const;
  std::int32_t next_block() const override { return next_block_.load(); }
  std::int32_t highest_acknowledged() const override { return highest_acked_.load(); }
  // The default pacing's pending resend request; -1 when none.
  std::int32_t lowest_requested() const { return default_pacing_.lowest_requested(); }
  int stall_count() const { return stall_count_.load(); }
  int ranked_count() const { return ranked_count_.load(); }
  int ready_count() const { return ready_count_.load(); }
  std::uint64_t total_bytes() const { return total_bytes_.load(); }
  std::uint64_t blocks_sent() const { return blocks_sent_.load(); }
  // Answers dropped as no target's (or not from the address they name) or for no
  // block of the file, over the run.
  std::uint64_t stray_answers() const { return stray_.load(); }
  // Seconds from Engine start until every target was done; nullopt while not all are.
  std::optional<double> seconds_to_all_done() const;

 private:
  void tick_waiting_for_ready(Tick now);
  // Sends OP_COPY_START to every target that has not answered (all of them at
  // Copy start). Takes the client table lock unless the caller holds it.
  void send_copy_start(bool lock_held);
  // A new copy has started since the worker last looked: it resets what only it uses.
  void catch_up_with_start(Tick now);
  CopyPacing& pacing() { return fast_.load() ? static_cast<CopyPacing&>(fast_pacing_) : default_pacing_; }

  // CopyPacingPort: what the pacing may do with the copy (the worker).
  std::int64_t block_total() const override {
    return static_cast<std::int64_t>(image::block_count(total_bytes_.load()));
  }
  bool window_full() const override;
  void go_back(std::int32_t block) override;
  void window_full_timeout(Tick now) override;
  int burst(Tick now, int limit, std::int64_t end) override;
  int send_again(Tick now, std::int32_t first, int count) override;
  bool held_by_rate_cap() const override { return rate_cap_.held_back(); }
  Tick ack_timeout() const override { return static_cast<Tick>(rt_.load()); }
  Tick resend_delay() const override { return static_cast<Tick>(nt_.load()); }
  void wake_worker() override { work_.raise(); }

  void update_progress();
  // Whether `from` is a target's address; client table lock held.
  bool is_target_locked(Ipv4Address from) const { return tables_.find_target(from) >= 0; }
  bool is_target(Ipv4Address from) const;
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
  std::atomic<CopyNames*> names_{nullptr};
  mutable std::mutex dialog_mutex_;
  TransferDialogHooks* dialog_ = nullptr;

  // The send buffer. Prepared by copy_start, then used by the worker only.
  CopySender sender_;
  // Incremented by every Engine start; the worker compares it with its own count.
  std::atomic<std::uint32_t> starts_{0};
  // Worker only.
  std::uint32_t starts_seen_ = 0;
  RateCap rate_cap_;
  DefaultPacing default_pacing_{*this};
  FastPacing fast_pacing_{*this};
  // Fast mode: the worker's wake-up.
  WakeSignal work_;

  std::atomic<std::uint64_t> total_bytes_{0};
  std::atomic<int> state_{stopped};  // stopped or sending; the pacing knows more
  std::atomic<std::int32_t> next_block_{0};
  std::atomic<std::int32_t> highest_acked_{-1};
  std::atomic<Tick> activity_deadline_{0};
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
