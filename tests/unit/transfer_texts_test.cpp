// The texts of the progress dialogs' refresh.
#include "transfer/transfer_texts.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

TEST(TransferTexts, RateIsMegabytesPerMinute) {
  EXPECT_EQ(rate_text(3072, 120), "1.5 Mb/min");
  EXPECT_EQ(rate_text(3072, 0), "0.0 Mb/min") << "no time has passed";
  EXPECT_EQ(rate_text(0, 10), "0.0 Mb/min");
}

TEST(TransferTexts, TimeLeftScalesElapsedByTheRemainingShare) {
  EXPECT_EQ(time_left_seconds(60, 250), 180);
  EXPECT_EQ(clock_text(time_left_seconds(60, 250)), "00:03:00");
  EXPECT_EQ(time_left_seconds(60, 300), 140) << "computed in floating point: 60 x 2.333";
  EXPECT_EQ(time_left_seconds(60, 1000), 0);
  EXPECT_EQ(time_left_seconds(60, 1500), 0) << "past the end the estimate is negative";
  EXPECT_EQ(time_left_seconds(60, 0), 0);
  EXPECT_EQ(time_left_seconds(60, -1), 0);
}

TEST(TransferTexts, ClockTextKeepsHoursPastADay) {
  EXPECT_EQ(clock_text(0), "00:00:00");
  EXPECT_EQ(clock_text(3 * 3600 + 4 * 60 + 5), "03:04:05");
  EXPECT_EQ(clock_text(30 * 3600), "30:00:00");
  EXPECT_EQ(clock_text(-5), "00:00:00");
}

TEST(TransferTexts, PercentageFallsBackTo100) {
  EXPECT_EQ(percentage_text(0, 0), "100%") << "before any Client reported a total";
  EXPECT_EQ(percentage_text(512, 1024), "50%");
  EXPECT_EQ(percentage_text(1, 3), "33%") << "truncated";
  EXPECT_EQ(percentage_text(2048, 1024), "100%") << "above 100";
  EXPECT_EQ(percentage_text(0, 1024), "0%");
}

TEST(TransferTexts, FileTextsShowTheTotalInMegabytesWithOneDecimal) {
  EXPECT_EQ(copy_file_text("lab.krn", 1536), "lab.krn  (1.5 Mb)");
  EXPECT_EQ(receive_file_text("lab.krn", 1536, true), "lab.krn  (1.5 Mb compressed)");
  EXPECT_EQ(receive_file_text("lab.krn", 1536, false), "lab.krn  (1.5 Mb)");
  EXPECT_EQ(copy_file_text("x.krn", 0), "x.krn  (0.0 Mb)");
}

TEST(TransferTexts, AcknowledgingClientIsWorkingUntilDesignated) {
  const AckerTarget pc{"PC-07", Ipv4Address(192, 168, 1, 10)};
  EXPECT_EQ(acker_text(false, pc), "Working...");
  EXPECT_EQ(acker_text(true, pc), "PC-07 (192.168.001.010)");
  EXPECT_EQ(acker_text(true, std::nullopt), "");
}

TEST(TransferTexts, RefreshOfAFreshCopyShowsFullPercentageNoTimeLeftAndNoRate) {
  const RefreshTexts t = refresh_texts({.position = 0, .elapsed_seconds = 0});
  EXPECT_EQ(t.percentage, "100%");
  EXPECT_EQ(t.time_left, "00:00:00");
  EXPECT_EQ(t.rate, "0.0 Mb/min");
  EXPECT_EQ(t.elapsed, "00:00:00");
  EXPECT_EQ(t.acknowledgements, "0");
}

TEST(TransferTexts, RefreshGateOpensOnlyWhenThePositionMoves) {
  RefreshGate gate;
  EXPECT_FALSE(gate.take(-1)) << "the position starts equal to the shown one";
  EXPECT_TRUE(gate.take(0));
  EXPECT_FALSE(gate.take(0));
  EXPECT_TRUE(gate.take(7));
  EXPECT_EQ(gate.shown(), 7);
}

}  // namespace
}  // namespace kestrelon
