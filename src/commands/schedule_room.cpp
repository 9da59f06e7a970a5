#include "commands/schedule_room.h"

namespace kestrelon {

ScheduleRoom::ScheduleRoom(ControllerCore& core, ScheduleRoomOptions options, CheckListModel pcs, WakeSeams seams)
    : core_(core), options_(options), pcs_(std::move(pcs)), seams_(std::move(seams)) {}

void ScheduleRoom::open(std::int64_t now, std::int64_t start, Tick tick) {
  // The wait counts from the start, however early the PCs were woken.
  const std::int64_t ahead = start > now ? start - now : 0;
  const Tick max_wait_ms = static_cast<Tick>((ahead + options_.max_wait_seconds) * 1000);
  watch_ = std::make_unique<RoomWatch>(core_, pcs_, options_.wake, options_.min_clients, max_wait_ms, seams_);
  watch_->begin(tick);
}

ScheduleRoom::Step ScheduleRoom::step(std::int64_t now, std::int64_t start, Tick tick) {
  if (!options_.waits()) return now >= start ? Step::start : Step::counting;
  const bool wake_due = options_.wake && now >= start - std::int64_t{options_.wake_lead_minutes} * 60;
  if (!watch_ && (wake_due || now >= start)) open(now, start, tick);
  if (watch_) watch_->poll(tick);
  if (now < start) return Step::counting;
  switch (watch_->decision(tick)) {
    case RoomWait::Decision::start: return Step::start;
    case RoomWait::Decision::give_up: return Step::give_up;
    case RoomWait::Decision::wait: return Step::waiting;
  }
  return Step::waiting;
}

std::string ScheduleRoom::status(Tick tick) const { return watch_ ? watch_->status(tick) : std::string(); }

}  // namespace kestrelon
