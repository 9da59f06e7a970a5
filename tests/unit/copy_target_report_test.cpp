// Each target of a Copy followed from the start request to its end: the steps as
// events, and why each one that did not finish failed, with what was last heard.
#include "transfer/copy_target_report.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

const Ipv4Address kA(10, 0, 0, 11), kB(10, 0, 0, 12), kC(10, 0, 0, 13);

class CopyTargetReportTest : public ::testing::Test {
 protected:
  void open_three() {
    report.open({{.name = "pc-a", .address = kA}, {.name = "pc-b", .address = kB}, {.name = "pc-c", .address = kC}});
  }
  // "name step" for each event since the last call.
  std::vector<std::string> events() {
    std::vector<std::string> out;
    for (const TargetState& t : report.take_events()) out.push_back(t.name + " " + step_text(t.step));
    return out;
  }
  TargetState state_of(const std::string& name) const {
    for (const TargetState& t : report.states())
      if (t.name == name) return t;
    return {};
  }
  ManualClock clock{10'000};
  CopyTargetReport report{clock};
};

TEST_F(CopyTargetReportTest, EachStepIsOneEventInTheOrderItHappened) {
  report.skip("pc-gone", Ipv4Address(), "offline: not discovered");
  open_three();
  report.start_sent(kA);
  report.start_sent(kB);
  report.start_sent(kA);  // sent again: no new step
  report.heard(kB, CopyAnswer::ready, 0);
  report.heard(kB, CopyAnswer::ready, 0);  // a repeated answer
  report.heard(kA, CopyAnswer::ready, 0);
  report.heard(kA, CopyAnswer::acknowledgement, 40);  // heard, but no step
  report.heard(kA, CopyAnswer::done, 0);
  report.heard(Ipv4Address(10, 0, 0, 99), CopyAnswer::ready, 0);  // no target of this copy
  EXPECT_EQ(events(), (std::vector<std::string>{"pc-gone skipped", "pc-a start sent", "pc-b start sent", "pc-b ready",
                                                "pc-a ready", "pc-a done"}));
  EXPECT_EQ(events(), std::vector<std::string>{}) << "taken once";
  EXPECT_EQ(state_of("pc-a").last_heard->answer, CopyAnswer::done);
}

TEST_F(CopyTargetReportTest, TheEndGivesEachUnfinishedTargetItsReasonAndWhatWasLastHeard) {
  open_three();
  for (const Ipv4Address a : {kA, kB, kC}) report.start_sent(a);
  report.heard(kA, CopyAnswer::ready, 0);
  report.heard(kB, CopyAnswer::ready, 0);
  report.acknowledging(kA);
  clock.advance(1000);
  report.heard(kB, CopyAnswer::acknowledgement, 700);
  clock.advance(500);
  report.heard(kB, CopyAnswer::resend_request, 650);
  report.heard(kA, CopyAnswer::done, 0);
  clock.advance(5200);
  events();
  report.close(CopyEnd::late_after_first);
  EXPECT_EQ(events(), (std::vector<std::string>{"pc-b failed", "pc-c failed"})) << "pc-a had finished";
  const TargetState b = state_of("pc-b");
  EXPECT_EQ(b.reason, "not done 5 s after the first Client finished; receiving, not the acknowledging Client (such "
                      "a Client answers only to ask for a lost block); last heard: resend request for block 650, "
                      "5.2 s before the end");
  ASSERT_TRUE(b.last_heard);
  EXPECT_EQ(b.last_heard->before_end_ms, 5200u);
  EXPECT_EQ(state_of("pc-c").reason, "not done 5 s after the first Client finished; nothing heard from it");
  EXPECT_EQ(state_of("pc-a").step, TargetStep::done);

  report.heard(kC, CopyAnswer::done, 0);
  EXPECT_EQ(events(), std::vector<std::string>{}) << "a closed report hears nothing more";
  EXPECT_EQ(state_of("pc-c").step, TargetStep::failed);
}

TEST_F(CopyTargetReportTest, HowTheCopyEndedDecidesTheReason) {
  TargetState ready{.name = "r", .address = kA, .step = TargetStep::ready};
  ready.last_heard = LastHeard{.answer = CopyAnswer::ready, .before_end_ms = 1500};
  const TargetState silent_start{.name = "s", .address = kB, .step = TargetStep::start_sent};
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::never_started, silent_start),
            "no answer to the start request; nothing heard from it");
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::never_started, ready),
            "ready, but the copy never started: not every Client answered the start request; last heard: ready, "
            "1.5 s before the end");
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::cancelled, ready),
            "cancelled; ready, no block acknowledged yet; last heard: ready, 1.5 s before the end");
  TargetState acked = ready;
  acked.receiving = true;
  acked.last_heard = LastHeard{.answer = CopyAnswer::acknowledgement, .block = 31, .before_end_ms = 15'000};
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::cancelled, acked),
            "cancelled; receiving, not the acknowledging Client (such a Client answers only to ask for a lost "
            "block); last heard: acknowledgement of block 31, 15.0 s before the end");
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::cancelled, acked, /*acknowledging_named=*/false),
            "cancelled; receiving; last heard: acknowledgement of block 31, 15.0 s before the end")
      << "before one is named, every Client acknowledges";
  acked.acknowledging = true;
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::cancelled, acked),
            "cancelled; the acknowledging Client; last heard: acknowledgement of block 31, 15.0 s before the end");
  acked.replaced = true;
  EXPECT_EQ(CopyTargetReport::failure_reason(CopyEnd::late_after_first, acked),
            "not done 5 s after the first Client finished; it stopped acknowledging and another Client took over; "
            "last heard: acknowledgement of block 31, 15.0 s before the end");
}

// The acknowledging Clients fell silent one after another: only they are said
// to have fallen silent. A Client that was receiving quietly is not blamed for
// its old last word, and one that answered no block at all is told apart.
TEST_F(CopyTargetReportTest, WhenNoAcknowledgingClientIsLeftOnlyTheSilentOnesAreSaidToHaveFallenSilent) {
  open_three();
  for (const Ipv4Address a : {kA, kB, kC}) report.heard(a, CopyAnswer::ready, 0);
  for (std::uint32_t block = 0; block <= 34; ++block) {
    report.heard(kA, CopyAnswer::acknowledgement, block);
    report.heard(kB, CopyAnswer::acknowledgement, block);
  }
  report.acknowledging(kA);
  clock.advance(4000);
  report.heard(kA, CopyAnswer::acknowledgement, 500);
  clock.advance(3000);
  report.acknowledging(kB);  // A fell silent: B takes over, and falls silent too
  clock.advance(2000);
  report.close(CopyEnd::no_acknowledger_left);
  EXPECT_EQ(state_of("pc-a").reason,
            "fell silent as the acknowledging Client; last heard: acknowledgement of block 500, 5.0 s before the end");
  EXPECT_EQ(state_of("pc-b").reason,
            "fell silent as the acknowledging Client; last heard: acknowledgement of block 34, 9.0 s before the end");
  EXPECT_EQ(state_of("pc-c").reason,
            "the copy stopped: no acknowledging Client was left; ready, but it acknowledged no block: it refused "
            "the image, or no block reached it; last heard: ready, 9.0 s before the end");
  EXPECT_TRUE(state_of("pc-a").receiving && state_of("pc-a").acknowledging && state_of("pc-a").replaced);
  EXPECT_FALSE(state_of("pc-b").replaced) << "the last one named";
  EXPECT_FALSE(state_of("pc-c").receiving || state_of("pc-c").acknowledging);
}

TEST_F(CopyTargetReportTest, ResetForgetsTheLastCopyAndReportsNothingBeforeItOpens) {
  open_three();
  report.start_sent(kA);
  report.reset();
  EXPECT_TRUE(report.states().empty());
  EXPECT_TRUE(report.take_events().empty());
  report.start_sent(kA);
  report.heard(kA, CopyAnswer::ready, 0);
  EXPECT_TRUE(report.take_events().empty()) << "not open: stray answers between copies";
}

}  // namespace
}  // namespace kestrelon
