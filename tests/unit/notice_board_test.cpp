// Messages from network threads are queued, never shown on the calling thread,
// and repeats of a waiting text are folded into one box.
#include "net/notice_board.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/recording_ui.h"

namespace kestrelon {
namespace {

TEST(NoticeBoard, PostReturnsAtOnceAndTheUiThreadShowsLater) {
  test::RecordingUi ui;
  NoticeBoard board(ui);
  board.post("Magic cookie is wrong");
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(ui.run_posted(), 1);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"Magic cookie is wrong"});
  EXPECT_EQ(board.outstanding(), 0u);
}

TEST(NoticeBoard, RepeatsWhileWaitingAreCountedNotStacked) {
  test::RecordingUi ui;
  NoticeBoard board(ui);
  for (int i = 0; i < 5; ++i) board.post("Magic cookie is wrong");
  board.post("other");
  EXPECT_EQ(ui.posted_count(), 2u);
  ui.run_posted();
  ASSERT_EQ(ui.messages().size(), 2u);
  EXPECT_EQ(ui.messages()[0], "Magic cookie is wrong\n(received 5 times)");
  EXPECT_EQ(ui.messages()[1], "other");
  EXPECT_EQ(board.folded_repeats(), 4u);
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

TEST(NoticeBoard, RepeatsWhileShownAreFoldedAndANewBoxFollowsOnlyAfterClosing) {
  BlockingUi ui;
  NoticeBoard board(ui);
  board.post("x");
  std::thread ui_thread([&] { ui.run_posted(); });
  ui.wait_showing();
  board.post("x");
  board.post("x");
  EXPECT_EQ(ui.posted_count(), 0u) << "no second box while the first is open";
  ui.close();
  ui_thread.join();
  EXPECT_EQ(ui.messages().size(), 1u);
  board.post("x");
  EXPECT_EQ(ui.run_posted(), 1);
  EXPECT_EQ(ui.messages().size(), 2u);
}

}  // namespace
}  // namespace kestrelon
