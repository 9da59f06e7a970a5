// The Receiving dialog's window-free parts: its refresh texts, and the headless
// dialog whose modal run drives the supervision and the refresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "commands/headless_receiving_dialog.h"
#include "commands/receiving_dialog.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

TEST(ReceivingRefreshTexts, ShowTheFileWithItsCompressionTheClientAndTheCounters) {
  TransferStats stats;
  stats.report(3072, 6144);
  stats.acknowledgements = 41;
  stats.retries = 2;
  const RefreshTexts t = receiving_refresh_texts(stats, 500, 120, {"lab.krn", "ROOM12-PC03", true});
  EXPECT_EQ(t.file, "lab.krn  (6.0 Mb compressed)");
  EXPECT_EQ(t.client, "ROOM12-PC03");
  EXPECT_EQ(t.percentage, "50%");
  EXPECT_EQ(t.rate, "1.5 Mb/min");
  EXPECT_EQ(t.time_left, "00:02:00");
  EXPECT_EQ(t.acknowledgements, "41");
  EXPECT_EQ(t.retries, "2");
  EXPECT_EQ(receiving_refresh_texts(stats, 500, 120, {"lab.krn", "x", false}).file, "lab.krn  (6.0 Mb)");
}

TEST(HeadlessReceivingDialog, SupervisionEndsItAndRefreshesFollowOnlyMovedPositions) {
  std::atomic<int> supervisions{0};
  std::vector<std::int32_t> refreshed;
  HeadlessReceivingDialog* self = nullptr;
  HeadlessReceivingDialog dialog({.supervise =
                                      [&] {
                                        if (++supervisions == 2) self->end_with_ok();
                                      },
                                  .refresh = [&](std::int32_t p) { refreshed.push_back(p); }});
  self = &dialog;
  std::thread engine([&] {
    dialog.set_progress_range(0, 1000);
    dialog.set_position(0);
    std::this_thread::sleep_for(400ms);
    dialog.set_position(700);
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(dialog.run_modal(), ReceivingDialog::End::ok);
  engine.join();
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1000ms) << "the second supervision, 2 x 500 ms";
  EXPECT_EQ(supervisions.load(), 2);
  EXPECT_EQ(dialog.range_high(), 1000);
  // Refreshes every 333 ms only when the position moved, and once more at the
  // end: each position is shown once, in order, and the last one is shown.
  ASSERT_FALSE(refreshed.empty());
  EXPECT_EQ(refreshed.back(), 700);
  EXPECT_TRUE(std::is_sorted(refreshed.begin(), refreshed.end()));
  EXPECT_EQ(std::adjacent_find(refreshed.begin(), refreshed.end()), refreshed.end());
}

TEST(HeadlessReceivingDialog, CancelRequestEndsItWithCancelWithoutWaitingForTheSupervision) {
  // The user cancels while the dialog runs, well before its first supervision.
  int idles = 0, supervisions = 0;
  HeadlessReceivingDialog dialog({.supervise = [&] { ++supervisions; },
                                  .idle = [&] { ++idles; },
                                  .cancel_requested = [&] { return idles >= 3; }});
  EXPECT_EQ(dialog.run_modal(), ReceivingDialog::End::cancel);
  EXPECT_EQ(idles, 3);
  EXPECT_EQ(supervisions, 0) << "the cancel did not wait for the supervision";
}

}  // namespace
}  // namespace kestrelon
