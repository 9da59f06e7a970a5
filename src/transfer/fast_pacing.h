#pragma once
// The fast pace of a copy (opt-in): blocks leave as soon as the acknowledgements
// open the window, and a requested block is sent again on its own while the copy
// goes on, since Clients that keep blocks arriving out of order lose almost no
// time to a lost block that way. A request for the block after a resent one
// brings a run; a request after a run, or any request once the whole file has
// been sent, is a go-back as in the default pace. No new block goes out
// kLagLimit or more past the lowest block a Client asked for lately (the
// lagging-Client bound), and when the acknowledgements stop with nothing else to
// send, the block after the highest acknowledged one is probed.
//
// Receive threads record requests (resend_requested); the copy worker ticks and
// keeps everything else to itself, reset when a new copy starts (restart).
#include <array>
#include <cstdint>

#include "transfer/copy_pacing.h"
#include "transfer/copy_sender.h"
#include "transfer/lagging_clients.h"
#include "transfer/resend_requests.h"

namespace kestrelon {

class FastPacing final : public CopyPacing {
 public:
  // Blocks per tick at most (the window bounds it, except after going back);
  // more waiting makes the worker tick again at once.
  static constexpr int kBurst = 4 * CopySender::kMaxRun;
  // With the window full (or everything sent) and the highest acknowledged block
  // standing still this long, the block after it is sent again on its own; the
  // wait doubles each time, up to "rt".
  static constexpr Tick kProbeWait = 4;
  // How many stretches of selectively resent blocks are remembered. A request
  // for the block right after a single resent block is answered with the next
  // run; a request right after such a run means its Client keeps no blocks that
  // arrive early (or lost more than a run): the copy goes back.
  static constexpr int kResentMemory = 32;
  // No new block goes out this many blocks or more past the lowest block a Client
  // asked for within the last kLagQuiet ms. The reference Client keeps at least
  // 1024 early blocks, so one held this close loses none of them.
  static constexpr std::int32_t kLagLimit = 1000;
  static constexpr Tick kLagQuiet = 3;

  explicit FastPacing(CopyPacingPort& port) : port_(port) {}

  void clear() override;
  void restart(Tick now) override;
  int tick(Tick now) override;
  bool resend_requested(Ipv4Address from, std::int32_t block, Tick now) override;
  bool resend_waiting() const override { return false; }

 private:
  struct Resent {
    std::int32_t last = -1;  // the last block of the stretch
    bool run = false;        // more than one block
  };
  // Serves the waiting resend requests; returns how many blocks went again. What
  // the rate cap holds back waits for a later tick.
  int serve_resend_requests(Tick now);
  // Sends the block after the highest acknowledged one again when the
  // acknowledgements have stopped with nothing else to send.
  void probe(Tick now);
  // Where new blocks must stop so that no Client that asks for blocks again falls
  // kLagLimit or more behind. While they are held, the newest sent block goes
  // again once a tick: a lagging Client only asks for its next gap when a block
  // after it arrives.
  std::int64_t lag_end(Tick now);
  // Sends `count` blocks from `first` on again and remembers the stretch; returns
  // how many went out.
  int resend(Tick now, std::int32_t first, int count);
  // The remembered stretch that ends with `block`, or null.
  const Resent* resent_ending_at(std::int32_t block) const;

  CopyPacingPort& port_;
  // From the receive threads.
  ResendRequests resends_;
  LaggingClients lagging_;
  // Worker only.
  std::int32_t probe_highest_ = -1;  // the highest acknowledged block when last looked
  Tick probe_wait_ = kProbeWait;
  Tick probe_due_ = 0;
  std::array<Resent, kResentMemory> resent_{};
  int resent_next_ = 0;
  Tick nudged_at_ = 0;  // the tick of the last block sent to wake a lagging Client
  bool new_blocks_first_ = false;
};

}  // namespace kestrelon
