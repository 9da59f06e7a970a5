#pragma once
// Messages raised on network threads. A receive thread must never wait for a
// person: a stray datagram would otherwise stop reception on every interface
// until someone clicks. The board queues the text to the user-interface thread
// and returns at once; while the same text waits or is on screen, repeats are
// counted instead of stacking boxes.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/user_messages.h"

namespace kestrelon {

class NoticeBoard {
 public:
  explicit NoticeBoard(UserMessages& ui) : ui_(ui) {}
  NoticeBoard(const NoticeBoard&) = delete;
  NoticeBoard& operator=(const NoticeBoard&) = delete;

  // Any thread.
  void post(const std::string& text);

  // Repeats of a text that were folded into one box, summed over the run.
  std::uint64_t folded_repeats() const;
  // Texts waiting or on screen.
  std::size_t outstanding() const;

 private:
  struct Entry {
    std::string text;
    std::uint64_t id = 0;
    std::uint64_t repeats = 0;  // arrivals folded into this entry
    bool showing = false;
  };
  void show_next();
  static std::string with_repeats(const Entry& e);

  UserMessages& ui_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t folded_ = 0;
  std::uint64_t next_id_ = 1;
};

}  // namespace kestrelon
