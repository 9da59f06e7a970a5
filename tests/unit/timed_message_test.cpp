// The self-closing message's countdown: ticks every 3000 ms, closes on the first
// tick after the 7000 ms deadline, ignores other timers.
#include "model/timed_message.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

TEST(TimedMessage, ClosesAtTheThirdTickOfItsOwnTimer) {
  TimedMessage message(1101);
  const Tick opened = 0xFFFFF000u;  // the tick count wraps during the message
  message.start(opened);
  EXPECT_FALSE(message.closes_at(1101, opened + 3000));
  EXPECT_FALSE(message.closes_at(1101, opened + 6000));
  EXPECT_FALSE(message.closes_at(1101, opened + 7000)) << "only strictly after the deadline";
  EXPECT_FALSE(message.closes_at(4, opened + 9000)) << "another timer's tick";
  EXPECT_TRUE(message.closes_at(1101, opened + 9000));

  // A second message with the same text counts from its own start.
  TimedMessage again(1101);
  again.start(opened + 9000);
  EXPECT_FALSE(again.closes_at(1101, opened + 12000));
  EXPECT_TRUE(again.closes_at(1101, opened + 18000));
}

}  // namespace
}  // namespace kestrelon
