#pragma once
// Messages raised on network threads. A receive thread must never wait for a
// person: a stray datagram would otherwise stop reception on every interface
// until someone clicks. The board queues the text to the user-interface thread
// and returns at once. Notices are folded by kind: while a notice of one kind
// waits or is on screen, later ones of that kind are counted instead of stacking
// boxes, so a flood of datagrams that differ in every byte still makes one box
// per kind, and the queue stays small. What arrived while a box was on screen is
// told in one more box once it closes.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/user_messages.h"

namespace kestrelon {

class NoticeBoard {
 public:
  // Kinds beyond this many waiting at once are dropped (and counted).
  static constexpr std::size_t kMaxOutstanding = 8;

  explicit NoticeBoard(UserMessages& ui) : ui_(ui) {}
  NoticeBoard(const NoticeBoard&) = delete;
  NoticeBoard& operator=(const NoticeBoard&) = delete;

  // Any thread. `kind` names what the notice is about; the first text of a kind
  // is the one shown.
  void post(std::string_view kind, const std::string& text);

  // Notices folded into a box of their kind, summed over the run.
  std::uint64_t folded_repeats() const;
  // Notices dropped because kMaxOutstanding kinds were waiting.
  std::uint64_t dropped() const;
  // Kinds waiting or on screen.
  std::size_t outstanding() const;

 private:
  struct Entry {
    std::string kind;
    std::string text;
    std::uint64_t id = 0;
    std::uint64_t repeats = 0;  // arrivals folded into this entry
    bool all_same = true;       // every folded arrival had the entry's own text
    bool showing = false;
    bool shown_before = false;  // its box has been on screen once: repeats count what came since
  };
  void show_next();
  static std::string with_repeats(const Entry& e);

  UserMessages& ui_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t folded_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t next_id_ = 1;
};

}  // namespace kestrelon
