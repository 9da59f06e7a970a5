#include "net/notice_board.h"

#include <algorithm>

namespace kestrelon {

void NoticeBoard::post(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    const auto same = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry& e) { return e.text == text; });
    if (same != entries_.end()) {
      ++same->repeats;
      ++folded_;
      return;
    }
    entries_.push_back(Entry{text, next_id_++, 0, false});
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
  }
  // A modal loop may show another text meanwhile; only this entry is removed after.
  ui_.show_message(shown);
  std::lock_guard lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; }),
                 entries_.end());
}

std::string NoticeBoard::with_repeats(const Entry& e) {
  if (e.repeats == 0) return e.text;
  return e.text + "\n(received " + std::to_string(e.repeats + 1) + " times)";
}

std::uint64_t NoticeBoard::folded_repeats() const {
  std::lock_guard lock(mutex_);
  return folded_;
}

std::size_t NoticeBoard::outstanding() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace kestrelon
