#include "net/notice_board.h"

#include <algorithm>

namespace kestrelon {

void NoticeBoard::post(std::string_view kind, const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    const auto same = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry& e) { return e.kind == kind; });
    if (same != entries_.end()) {
      ++same->repeats;
      same->all_same = same->all_same && same->text == text;
      ++folded_;
      return;
    }
    if (entries_.size() >= kMaxOutstanding) {
      ++dropped_;
      return;
    }
    entries_.push_back(Entry{std::string(kind), text, next_id_++, 0, true, false});
  }
  ui_.post_to_ui([this] { show_next(); });
}

void NoticeBoard::show_next() {
  std::string shown;
  std::uint64_t id = 0;
  {
    std::lock_guard lock(mutex_);
    const auto next = std::find_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.showing; });
    if (next == entries_.end()) return;
    next->showing = true;
    id = next->id;
    // The box tells how many arrivals were folded in while the text waited.
    shown = with_repeats(*next);
    next->repeats = 0;
    next->all_same = true;
    next->shown_before = true;
  }
  // A modal loop may show another text meanwhile; only this entry is removed after.
  ui_.show_message(shown);
  bool again = false;
  {
    std::lock_guard lock(mutex_);
    const auto entry = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
    if (entry != entries_.end() && entry->repeats > 0) {
      // Arrivals while the box was on screen are told in a box of their own.
      entry->showing = false;
      again = true;
    } else if (entry != entries_.end()) {
      entries_.erase(entry);
    }
  }
  if (again) ui_.post_to_ui([this] { show_next(); });
}

std::string NoticeBoard::with_repeats(const Entry& e) {
  // A first box counts its own text too; a later one only what came since.
  const std::uint64_t count = e.shown_before ? e.repeats : e.repeats + 1;
  if (count <= 1 && !e.shown_before) return e.text;
  const std::string n = std::to_string(count);
  const std::string since = e.shown_before ? " more while the last message was shown" : "";
  if (e.all_same) return e.text + "\n(received " + n + " times" + since + ")";
  return e.text + "\n(" + n + " such datagrams received" + since + ")";
}

std::uint64_t NoticeBoard::folded_repeats() const {
  std::lock_guard lock(mutex_);
  return folded_;
}

std::uint64_t NoticeBoard::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::size_t NoticeBoard::outstanding() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace kestrelon
