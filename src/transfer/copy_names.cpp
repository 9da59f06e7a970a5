#include "transfer/copy_names.h"

#include "net/wire_format.h"

namespace kestrelon {

void CopyNames::plan(const std::vector<std::pair<Ipv4Address, std::string>>& names) {
  std::lock_guard hold(mutex_);
  entries_.clear();
  for (const auto& [address, name] : names) entries_.push_back(Entry{TargetNaming{address, name}});
}

void CopyNames::send(const Entry& e) const {
  const auto datagram = wire::build_copy_name({e.naming.address, e.disk, e.naming.computer_name});
  endpoints_.send(e.interface_index, datagram, e.naming.address, wire::kControlPort);
}

void CopyNames::start_sent(Ipv4Address target, int interface_index, std::uint16_t disk, Tick now) {
  std::lock_guard hold(mutex_);
  for (Entry& e : entries_) {
    if (e.naming.address != target || e.naming.taken || !e.naming.refused.empty()) continue;
    // A repeated start finds its name just sent again by tick(): once a second is enough.
    const bool sent_lately = e.interface_index >= 0 && !tick_reached(now, e.sent_at + kRepeat);
    e.interface_index = interface_index;
    e.disk = disk;
    if (sent_lately) continue;
    e.sent_at = now;
    send(e);
  }
}

void CopyNames::tick(Tick now) {
  std::lock_guard hold(mutex_);
  for (Entry& e : entries_) {
    if (e.interface_index < 0 || e.naming.taken || !e.naming.refused.empty()) continue;
    if (!tick_reached(now, e.sent_at + kRepeat)) continue;
    e.sent_at = now;
    send(e);
  }
}

void CopyNames::on_copy_name_answer(const wire::CopyNameAnswer& answer, Ipv4Address from) {
  std::lock_guard hold(mutex_);
  for (Entry& e : entries_) {
    // Only the target itself, from its own address, answering the name it was given.
    if (e.naming.address != from || answer.client != from || answer.computer_name != e.naming.computer_name) continue;
    switch (answer.answer) {
      case wire::NameAnswer::taken:
        e.naming.taken = true;
        break;
      case wire::NameAnswer::refused:
        e.naming.refused = answer.text.empty() ? "refused" : answer.text;
        break;
      case wire::NameAnswer::report:
        e.naming.taken = true;
        e.naming.outcome = answer.outcome;
        e.naming.report = answer.text;
        break;
    }
  }
}

std::vector<TargetNaming> CopyNames::targets() const {
  std::lock_guard hold(mutex_);
  std::vector<TargetNaming> out;
  for (const Entry& e : entries_) out.push_back(e.naming);
  return out;
}

bool CopyNames::all_reported(const std::vector<Ipv4Address>& done) const {
  std::lock_guard hold(mutex_);
  for (const Entry& e : entries_) {
    if (!e.naming.taken || e.naming.outcome) continue;
    for (const Ipv4Address& d : done) {
      if (d == e.naming.address) return false;
    }
  }
  return true;
}

}  // namespace kestrelon
