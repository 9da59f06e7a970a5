#pragma once
// How many blocks a pipelined Create keeps in flight. The Controller's socket
// holds only so many datagrams while its receive thread is busy elsewhere, and a
// block lost to a full socket costs the whole window behind it (the Controller
// takes blocks only in order). So the window starts small, doubles every round
// trip until the first loss, then grows by one block per round trip and halves
// at every loss; a silence with nothing answered starts it small again. With
// room for everything in flight it soon stays at its largest.
#include <cstdint>

namespace kestrelon::client {

class UploadWindow {
 public:
  // `largest` 1 is stop-and-wait: the window never moves.
  explicit UploadWindow(std::uint32_t largest);

  std::uint32_t size() const { return static_cast<std::uint32_t>(size_); }
  std::uint32_t largest() const { return largest_; }

  // The Controller took this many more blocks.
  void taken(std::uint32_t blocks);
  // A block in flight was lost; counts once per round trip (the caller's rule).
  void lost();
  // Nothing was answered for the resend time.
  void timed_out();

 private:
  std::uint32_t smallest() const;
  std::uint32_t largest_;
  double size_;
  double threshold_;  // below it the window doubles per round trip
};

}  // namespace kestrelon::client
