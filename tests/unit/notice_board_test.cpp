// Messages from network threads are queued, never shown on the calling thread,
// and notices of a kind that is waiting are folded into its box.
#include "net/notice_board.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/recording_ui.h"

namespace kestrelon {
namespace {

TEST(NoticeBoard, PostReturnsAtOnceAndTheUiThreadShowsLater) {
  test::RecordingUi ui;
  NoticeBoard board(ui);
  board.post("magic", "Magic cookie is wrong");
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(ui.run_posted(), 1);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"Magic cookie is wrong"});
  EXPECT_EQ(board.outstanding(), 0u);
}

TEST(NoticeBoard, RepeatsWhileWaitingAreCountedNotStacked) {
  test::RecordingUi ui;
  NoticeBoard board(ui);
  for (int i = 0; i < 5; ++i) board.post("magic", "Magic cookie is wrong");
  board.post("other", "other");
  EXPECT_EQ(ui.posted_count(), 2u);
  ui.run_posted();
  ASSERT_EQ(ui.messages().size(), 2u);
  EXPECT_EQ(ui.messages()[0], "Magic cookie is wrong\n(received 5 times)");
  EXPECT_EQ(ui.messages()[1], "other");
  EXPECT_EQ(board.folded_repeats(), 4u);
}

TEST(NoticeBoard, TheQueueIsBoundedAndWhatDoesNotFitIsCounted) {
  test::RecordingUi ui;
  NoticeBoard board(ui);
  for (std::size_t k = 0; k < NoticeBoard::kMaxOutstanding + 5; ++k) {
    board.post("kind " + std::to_string(k), "text " + std::to_string(k));
  }
  EXPECT_EQ(board.outstanding(), NoticeBoard::kMaxOutstanding);
  EXPECT_EQ(board.dropped(), 5u);
  EXPECT_EQ(ui.posted_count(), NoticeBoard::kMaxOutstanding);
  ui.run_posted();
  EXPECT_EQ(ui.messages().size(), NoticeBoard::kMaxOutstanding);
  board.post("kind 0", "text 0");
  EXPECT_EQ(board.outstanding(), 1u) << "room again once the boxes were shown";
}

// A port whose message box stays open until the test lets it close.
class BlockingUi : public test::RecordingUi {
 public:
  void show_message(const std::string& text) override {
    RecordingUi::show_message(text);
    std::unique_lock lock(m_);
    showing_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return closed_; });
  }
  void wait_showing() {
    std::unique_lock lock(m_);
    cv_.wait(lock, [this] { return showing_; });
  }
  void close() {
    std::lock_guard lock(m_);
    closed_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool showing_ = false;
  bool closed_ = false;
};

TEST(NoticeBoard, RepeatsWhileShownAreCountedInOneBoxAfterClosing) {
  BlockingUi ui;
  NoticeBoard board(ui);
  board.post("x", "x");
  std::thread ui_thread([&] { ui.run_posted(); });
  ui.wait_showing();
  board.post("x", "x");
  board.post("x", "x");
  EXPECT_EQ(ui.posted_count(), 0u) << "no second box while the first is open";
  ui.close();
  ui_thread.join();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{"x", "x\n(received 2 times more while the last message was shown)"}))
      << "what came while the box was open is told once it closed";
  EXPECT_EQ(board.outstanding(), 0u);
  board.post("x", "x");
  EXPECT_EQ(ui.run_posted(), 1);
  EXPECT_EQ(ui.messages().back(), "x") << "a fresh notice after that";
}

}  // namespace
}  // namespace kestrelon
