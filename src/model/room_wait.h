#pragma once
// Waiting for enough of a Copy's PCs before it starts, as `copy --min-clients N
// --max-wait SECONDS` and the Schedule dialog's options ask: PCs that were just
// woken need a minute or two to boot into the Client. The copy starts as soon as
// N of the targets are listed and ready (or all of them, when there are fewer),
// or when the deadline passes with at least one ready; the others are left out.
// Nobody ready at the deadline: nothing starts.
//
// Times are tick counts handed in by the caller, so a test drives the wait
// without waiting; the command line and the window call step() as they poll.
#include "platform/tick.h"

namespace kestrelon {

class RoomWait {
 public:
  enum class Decision { wait, start, give_up };

  // `min_clients` below 1 or above `targets` counts as `targets`.
  RoomWait(int targets, int min_clients, Tick max_wait_ms, Tick now);

  // With `ready` targets listed and ready at `now`.
  Decision step(int ready, Tick now) const;

  int targets() const { return targets_; }
  int min_clients() const { return min_clients_; }
  // Milliseconds until the deadline; 0 once it has passed.
  Tick remaining(Tick now) const;

 private:
  int targets_;
  int min_clients_;
  Tick deadline_;
};

}  // namespace kestrelon
