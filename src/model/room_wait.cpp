#include "model/room_wait.h"

namespace kestrelon {

RoomWait::RoomWait(int targets, int min_clients, Tick max_wait_ms, Tick now)
    : targets_(targets < 0 ? 0 : targets),
      min_clients_(min_clients < 1 || min_clients > targets_ ? targets_ : min_clients),
      deadline_(now + max_wait_ms) {}

RoomWait::Decision RoomWait::step(int ready, Tick now) const {
  if (targets_ == 0) return Decision::give_up;
  if (ready >= min_clients_) return Decision::start;
  if (!tick_reached(now, deadline_)) return Decision::wait;
  return ready > 0 ? Decision::start : Decision::give_up;
}

Tick RoomWait::remaining(Tick now) const { return tick_reached(now, deadline_) ? 0 : deadline_ - now; }

}  // namespace kestrelon
