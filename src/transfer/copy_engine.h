#pragma once
// The multicast copy engine: sends one image file to every target at once as
// numbered 1350-byte blocks to the data group, within a window of 19 blocks past
// the highest acknowledged block, following one acknowledging Client at a time.
//
// Driven from three sides: the copy worker calls tick() every millisecond; the
// receive dispatcher delivers the Clients' answers (CopyPacketHandler); the
// Transfer dialog starts the copy when it opens and stops the worker when it ends.
//
// The window fields are single 32-bit (or 64-bit) atomics, each written by one
// store, read by the worker and the receive threads without a lock. The target
// table is touched only under the client table lock.
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
#include "transfer/copy_observer.h"
#include "transfer/image_file.h"
#include "transfer/transfer_dialog_hooks.h"
#include "transfer/transfer_stats.h"

namespace kestrelon {

// The command-line tuning values the engine uses.
struct CopyTuning {
  int rc = 50;   // window-full timeouts in a row before another acknowledging Client is chosen
  int rt = 300;  // ms: activity deadline after an acknowledgement or a window-full timeout
  int nt = 11;   // ms: wait in the resend-pending state before going back
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

  // CopyPacketHandler (receive threads, receive lock held).
  bool copy_running() const override { return running_.load(); }
  void on_copy_ack(const wire::CopyAck& ack, int endpoint_index) override;
  void on_copy_nak(const wire::CopyNak& nak, int endpoint_index, Ipv4Address from) override;
  void on_copy_done(const wire::CopyDone& done, int endpoint_index) override;
  void on_copy_ready(Ipv4Address from, int endpoint_index) override;

  // The worker's stop flag.
  void request_stop() { stop_.store(true); }
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
  // Sends the window's next blocks; returns how many went out.
  int burst();
  // Makes the send buffer hold `block`; false on a read error (the buffer then
  // holds no block, so it is read again before anything is sent).
  bool load_buffer(std::int32_t block);
  std::int64_t remaining_bytes(std::int32_t block) const;
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

  std::atomic<CopyObserver*> observer_{nullptr};
  mutable std::mutex dialog_mutex_;
  TransferDialogHooks* dialog_ = nullptr;

  // The send buffer is the OP_COPY_DATA datagram itself: blocks are read straight
  // into its data field. Touched by copy_start and then by the worker only.
  wire::CopyDataPacket packet_;
  std::int32_t buffer_block_ = -1;  // the block the buffer holds, -1 = none
  std::atomic<const ImageFile*> file_{nullptr};

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
