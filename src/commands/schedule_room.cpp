#include "commands/schedule_room.h"

#include "model/client_row_text.h"

namespace kestrelon {

CheckListModel schedule_room_pcs(const CheckListModel& main, const CheckListModel* group) {
  CheckListModel pcs;
  pcs.insert_client_columns();
  const auto add = [&pcs](const CheckListModel& from, int r) {
    const int row = pcs.row_count();
    for (int c = 0; c < 4; ++c) pcs.set_cell(row, c, from.cell(r, c));
  };
  for (int r = 0; r < main.row_count(); ++r)
    if (main.check_state(r) == kChecked) add(main, r);
  if (group != nullptr) {
    for (int r = 0; r < group->row_count(); ++r)
      if (group->check_state(r) != kChecked) add(*group, r);
  }
  return pcs;
}

ScheduleRoom::ScheduleRoom(ControllerCore& core, ScheduleRoomOptions options, CheckListModel pcs, WakeSeams seams)
    : core_(core), options_(options), pcs_(std::move(pcs)), seams_(std::move(seams)) {}

void ScheduleRoom::choose(const ScheduleRoomOptions& options) {
  watch_.reset();
  options_ = options;
}

void ScheduleRoom::open(std::int64_t now, std::int64_t start, Tick tick) {
  // The wait counts from the start, however early the PCs were woken.
  const std::int64_t ahead = start > now ? start - now : 0;
  const Tick max_wait_ms = static_cast<Tick>((ahead + options_.max_wait_seconds) * 1000);
  // Who is here is found afresh: hours may have passed since the PCs were checked.
  CheckListModel pcs = pcs_;
  pcs.uncheck_all();
  watch_ = std::make_unique<RoomWatch>(core_, pcs, options_.wake, options_.min_clients, max_wait_ms, seams_);
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

std::string ScheduleRoom::give_up_text() const {
  return "None of the " + std::to_string(pc_count()) + " PCs came up by the end of the wait: nothing was copied.";
}

void ScheduleRoom::fill(CopyRequest& request) const {
  if (!watch_) return;
  const CheckListModel& members = watch_->members();
  for (int r = 0; r < members.row_count(); ++r) {
    if (members.check_state(r) == kChecked) continue;
    const std::string name = members.cell(r, 0);
    request.left_out.push_back({name, address_from_padded_text(members.cell(r, 1)).value_or(Ipv4Address()),
                                watch_->room().absent_reason(name)});
  }
  const RoomWatch* watch = watch_.get();
  request.annotate = [watch](JournalRecord& record) { watch->room().report().annotate(record); };
}

}  // namespace kestrelon
