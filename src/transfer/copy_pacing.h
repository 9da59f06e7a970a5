#pragma once
// How a copy is paced: when blocks go out and how a resend request is served.
// The copy engine keeps the protocol (the targets, the window, the acknowledging
// Client, the answers) and hands each tick and each resend request to the pacing
// its tuning chose: the default pacing (default_pacing.h) or the fast one
// (fast_pacing.h). A pacing moves the copy on only through the engine's
// CopyPacingPort, so both modes keep the same window, datagrams and rate cap.
//
// Threads: tick and restart run on the copy worker; resend_requested and
// resend_waiting on the receive threads and the worker; clear on whoever runs
// Engine start, before the worker sees the new copy.
#include <cstdint>

#include "platform/ipv4_address.h"
#include "platform/tick.h"

namespace kestrelon {

class CopyPacingPort {
 public:
  virtual ~CopyPacingPort() = default;
  // The block sent next, the highest acknowledged one (-1 before any), and how
  // many blocks the file has.
  virtual std::int32_t next_block() const = 0;
  virtual std::int32_t highest_acknowledged() const = 0;
  virtual std::int64_t block_total() const = 0;
  // No block may go out before an acknowledgement (19 past the highest one are out).
  virtual bool window_full() const = 0;
  // Sending goes on from `block` (back, usually).
  virtual void go_back(std::int32_t block) = 0;
  // With the window full and nothing acknowledged for "rt": the window goes again,
  // and after "rc" such timeouts in a row another Client acknowledges.
  virtual void window_full_timeout(Tick now) = 0;
  // Sends the window's next blocks, at most `limit` and none from `end` on, within
  // the rate cap; returns how many went out.
  virtual int burst(Tick now, int limit, std::int64_t end) = 0;
  // Sends `count` blocks from `first` on again, within the rate cap, leaving the
  // send position as it is; returns how many went out (0 when the cap allows none).
  virtual int send_again(Tick now, std::int32_t first, int count) = 0;
  // Whether the rate cap held back the last blocks that wanted to go.
  virtual bool held_by_rate_cap() const = 0;
  // "rt" and "nt", in milliseconds.
  virtual Tick ack_timeout() const = 0;
  virtual Tick resend_delay() const = 0;
  // Makes the worker tick again at once (it has more to send).
  virtual void wake_worker() = 0;
};

class CopyPacing {
 public:
  virtual ~CopyPacing() = default;
  // Engine start: what the receive threads leave for the worker is forgotten.
  virtual void clear() = 0;
  // The worker's first tick of a new copy: what only the worker keeps is reset.
  virtual void restart(Tick now) = 0;
  // One tick of a running copy; returns how many blocks went out.
  virtual int tick(Tick now) = 0;
  // A target that holds every block before `block` (one of the file's) asks for
  // it again. True when it counts as a retry.
  virtual bool resend_requested(Ipv4Address from, std::int32_t block, Tick now) = 0;
  // Whether a burst under way should stop to serve a resend request first.
  virtual bool resend_waiting() const = 0;
};

}  // namespace kestrelon
