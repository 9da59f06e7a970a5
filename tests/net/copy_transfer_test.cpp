// The Transfer dialog's window-free half: Copy start when it opens, the worker,
// the cancel path by every route, and the texts of its refresh.
#include "commands/copy_transfer.h"

#include "copy_rig.h"

namespace kestrelon {
namespace {

using test::client_address;

class CopyTransferTest : public test::CopyRig {
 protected:
  CopyTransfer::Parts parts() { return {engine, worker, stats, tables, locks.client_table, ui}; }
  CopyWorker worker{engine, locks.worker};
  int ended = 0;
};

TEST_F(CopyTransferTest, WithoutTargetsTheDialogEndsAtOnceAndNoWorkerStarts) {
  make_image(20'000);
  CopyTransfer transfer(parts(), image, CopyOptions{});
  EXPECT_FALSE(transfer.open(100, [&] { ++ended; }));
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(transfer.ended());
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"No clients have been checked (discovered) !"});
  EXPECT_FALSE(worker.active());
  EXPECT_FALSE(engine.has_dialog());
}

TEST_F(CopyTransferTest, OpeningClearsTheCountersStartsTheCopyAndTheEnginesCancelEndsIt) {
  stats.acknowledgements = 9;
  stats.retries = 4;
  add_targets(1);
  make_image(1350 * 10);
  CopyTransfer transfer(parts(), image, CopyOptions{});
  ASSERT_TRUE(transfer.open(100, [&] { ++ended; }));
  EXPECT_EQ(stats.acknowledgements, 0);
  EXPECT_EQ(stats.retries, 0);
  EXPECT_TRUE(worker.active());
  EXPECT_TRUE(engine.has_dialog());
  EXPECT_EQ(unicasts_to(0, wire::OP_COPY_START), 1);

  ready(0);
  EXPECT_EQ(transfer.range_high(), 1000);
  EXPECT_EQ(transfer.position(), 0);
  done(0);  // the only target is done: the engine asks for the cancel path
  EXPECT_EQ(ended, 0) << "the request is posted to the user-interface thread";
  ui.run_posted();
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(engine.stop_requested());
  EXPECT_FALSE(engine.has_dialog());
  worker.join();
  EXPECT_FALSE(worker.active());
  EXPECT_EQ(engine.state(), CopyEngine::stopped);

  transfer.cancel();
  EXPECT_EQ(ended, 1) << "the cancel path runs once";
}

TEST_F(CopyTransferTest, ACancelPostedForADialogThatIsGoneDoesNothing) {
  add_targets(1);
  make_image(1350 * 10);
  {
    CopyTransfer transfer(parts(), image, CopyOptions{});
    ASSERT_TRUE(transfer.open(100, [&] { ++ended; }));
    transfer.request_cancel();
    transfer.cancel();
  }
  EXPECT_EQ(ui.run_posted(), 1);
  EXPECT_EQ(ended, 1);
}

TEST_F(CopyTransferTest, RefreshShowsTextsOnlyWhenThePositionMoved) {
  add_targets(2);
  make_image(1350 * 50);  // block 40, acknowledged below, lies in the file
  CopyTransfer transfer(parts(), image, CopyOptions{});
  ASSERT_TRUE(transfer.open(1000, [&] { ++ended; }));
  EXPECT_FALSE(transfer.refresh(1001)) << "position -1 as at initialisation";

  transfer.set_position(0);
  auto t = transfer.refresh(1000);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->percentage, "100%");
  EXPECT_EQ(t->time_left, "00:00:00");
  EXPECT_EQ(t->rate, "0.0 Mb/min");
  EXPECT_EQ(t->client, "Working...");
  EXPECT_EQ(t->file, "lab.krn  (0.0 Mb)");
  EXPECT_FALSE(transfer.refresh(1090)) << "the same position leaves every text, the elapsed time too";

  stats.progress_done = 3072;
  stats.progress_total = 12288;
  stats.acknowledgements = 17;
  transfer.set_position(250);
  t = transfer.refresh(1060);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->elapsed, "00:01:00");
  EXPECT_EQ(t->time_left, "00:03:00");
  EXPECT_EQ(t->rate, "3.0 Mb/min");
  EXPECT_EQ(t->percentage, "25%");
  EXPECT_EQ(t->file, "lab.krn  (12.0 Mb)");
  EXPECT_EQ(t->acknowledgements, "17");

  // Both targets ranked: the last one is told it leads, and its name is shown.
  ready(0);
  ready(1);
  ack(0, 40);
  ack(1, 40);
  transfer.set_position(260);
  t = transfer.refresh(1061);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->client, "PC-1 (127.000.000.051)");
  transfer.cancel();
  worker.join();
}

}  // namespace
}  // namespace kestrelon
