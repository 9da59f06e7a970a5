#include "commands/room_start.h"

#include <ctime>

#include "model/client_name.h"

namespace kestrelon {

RoomStart::RoomStart(ControllerCore& core, RoomRequest request, WakeSeams seams)
    : core_(core),
      request_(std::move(request)),
      seams_(std::move(seams)),
      wait_(static_cast<int>(request_.pcs.size()), request_.min_clients, request_.max_wait_ms, core.clock().now()) {}

bool RoomStart::listed_now(const std::string& name, const std::optional<MacAddress>& mac) const {
  for (const ListedClient& l : core_.mac_learner().listed()) {
    if (same_client_name(l.name, name) || (mac && l.mac == mac)) return true;
  }
  return false;
}

const std::vector<WakeOutcome>& RoomStart::begin(Tick now) {
  began_ = now;
  wait_ = RoomWait(static_cast<int>(request_.pcs.size()), request_.min_clients, request_.max_wait_ms, now);
  core_.mac_learner().pass(true);
  inventory_ = core_.inventory().read().entries;
  // Pending first: a PC woken before its mark would boot its own disk.
  std::vector<PendingPc> pending;
  for (const WakeWanted& w : request_.pcs) {
    const int i = wake_entry(inventory_, w);
    if (i < 0 || !inventory_[static_cast<std::size_t>(i)].mac) continue;
    const InventoryEntry& e = inventory_[static_cast<std::size_t>(i)];
    pending.push_back({*e.mac, 0, e.name});
    marked_.push_back(*e.mac);
    if (listed_now(e.name, e.mac)) report_.on_already(e.name, e.mac);
  }
  pending_problem_ = core_.pending().mark(pending);
  if (request_.wake) wake_missing(now);
  return outcomes_;
}

void RoomStart::wake_missing(Tick now) {
  last_wake_ = now;
  std::vector<WakeWanted> missing;
  for (const WakeWanted& w : request_.pcs) {
    const int i = wake_entry(inventory_, w);
    const std::string name = i >= 0 ? inventory_[static_cast<std::size_t>(i)].name : w.name;
    const auto mac = i >= 0 ? inventory_[static_cast<std::size_t>(i)].mac : std::nullopt;
    if (!listed_now(name, mac)) missing.push_back(w);
  }
  const std::vector<WakeOutcome> sent = wake_pcs(inventory_, missing, request_.directed, seams_);
  for (const WakeOutcome& o : sent) report_.woke(o, now);
  if (outcomes_.empty()) outcomes_ = sent;
}

RoomWait::Decision RoomStart::poll(int ready, Tick now) {
  for (const PcFacts& p : report_.pcs())
    if (p.wake_sent && !p.booted_after_seconds && listed_now(p.name, p.mac)) report_.booted(p.name, now);
  const RoomWait::Decision decision = wait_.step(ready, now);
  if (decision == RoomWait::Decision::wait) {
    if (request_.wake && tick_reached(now, last_wake_ + kRewakePeriodMs)) wake_missing(now);
  } else {
    ended_ = now;
    ended_early_ = wait_.remaining(now) > 0;
  }
  return decision;
}

std::string RoomStart::absent_reason(const std::string& name) const {
  const PcFacts* p = report_.find(name);
  if (p && !p->wake_sent && !p->wake_problem.empty()) return "offline: could not be woken: " + p->wake_problem;
  const std::string waited = std::to_string(request_.max_wait_ms / 1000) + " s";
  if (ended_ && ended_early_) {
    const Tick since = p && p->wake_sent ? p->woken_at : began_;
    const std::string after = std::to_string((*ended_ - since + 500) / 1000) + " s after ";
    return "not ready when the copy started, " + after + (p && p->wake_sent ? "it was woken" : "the wait began");
  }
  if (p && p->wake_sent) return "offline: did not come up within " + waited + " after it was woken";
  return "offline: not discovered within " + waited;
}

RoomStart::~RoomStart() { core_.pending().unmark(marked_); }

}  // namespace kestrelon
