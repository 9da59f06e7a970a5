// Running the builder as a child without blocking: its two streams arrive line
// by line, its end with the exit status, a program that cannot start says why at
// once, and a stop that is not obeyed ends, after the grace, its whole process
// group, the server it started included. (An obeyed stop, and a window closed
// while serving, are proven through the window.)
#include "core/child_runner.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "support/temp_folder.h"

namespace kestrelon::builder_window {
namespace {

using namespace std::chrono_literals;

// Collects what the reader thread reports, for the test's thread to wait on.
class Reports {
 public:
  ChildRunner::Callbacks callbacks() {
    return {[this](std::vector<OutputLine> lines) {
              std::lock_guard lock(mutex_);
              for (auto& line : lines) lines_.push_back(std::move(line));
              changed_.notify_all();
            },
            [this](ChildExit exit) {
              std::lock_guard lock(mutex_);
              exit_ = exit;
              ++ends_;
              changed_.notify_all();
            }};
  }
  bool wait_end(std::chrono::milliseconds limit = 10s, int count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return ends_ >= count; });
  }
  bool wait_line(const std::string& text, std::chrono::milliseconds limit = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const auto& line : lines_)
        if (line.text == text) return true;
      return false;
    });
  }
  std::vector<OutputLine> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  ChildExit exit() {
    std::lock_guard lock(mutex_);
    return exit_;
  }
  int ends() {
    std::lock_guard lock(mutex_);
    return ends_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<OutputLine> lines_;
  ChildExit exit_;
  int ends_ = 0;
};

TEST(BuilderWindowChildRunner, BothStreamsArriveLineByLineAndTheEndCarriesTheStatus) {
  Reports reports;
  ChildRunner runner(reports.callbacks());
  std::string error;
  // Half a line, a pause, the rest: lines are whole when they arrive. A line
  // without its end and a Windows line end are kept too; a very long line comes
  // in pieces.
  ASSERT_TRUE(runner.start("/bin/sh",
                           {"-c",
                            "printf 'first '; sleep 0.2; echo line; echo 'to error' >&2; printf 'crlf\\r\\n';"
                            "head -c 5000 /dev/zero | tr '\\0' x; echo; printf 'no end'; exit 3",
                            "ignored-name"},
                           error))
      << error;
  EXPECT_NE(runner.pid(), 0);
  ASSERT_TRUE(reports.wait_end());
  const std::vector<OutputLine> lines = reports.lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].text, "first line");
  EXPECT_FALSE(lines[0].error);
  bool error_seen = false;
  std::vector<std::string> output;
  for (const auto& line : lines) {
    if (line.error) {
      error_seen = true;
      EXPECT_EQ(line.text, "to error");
    } else {
      output.push_back(line.text);
    }
  }
  EXPECT_TRUE(error_seen);
  EXPECT_EQ(output, (std::vector<std::string>{"first line", "crlf", std::string(4096, 'x'), std::string(904, 'x'),
                                              "no end"}));
  EXPECT_FALSE(reports.exit().signalled);
  EXPECT_EQ(reports.exit().value, 3);
  EXPECT_EQ(runner.pid(), 0);

  // The next run may start once one has ended.
  ASSERT_TRUE(runner.start("/bin/true", {}, error)) << error;
  ASSERT_TRUE(reports.wait_end(10s, 2));
  EXPECT_EQ(reports.exit().value, 0);
}

TEST(BuilderWindowChildRunner, AProgramThatCannotStartSaysWhyAtOnce) {
  Reports reports;
  ChildRunner runner(reports.callbacks());
  std::string error;
  EXPECT_FALSE(runner.start("/nonexistent/kestrelon-builder", {"netboot"}, error));
  EXPECT_EQ(error, "No such file or directory");
  test::TempFolder temp;
  std::ofstream(temp / "not-executable") << "#!/bin/sh\n";
  EXPECT_FALSE(runner.start((temp / "not-executable").string(), {}, error));
  EXPECT_EQ(error, "Permission denied");
  EXPECT_EQ(reports.ends(), 0) << "nothing ran, so nothing ends";
  EXPECT_EQ(runner.pid(), 0);
}

TEST(BuilderWindowChildRunner, AnIgnoredStopKillsTheWholeGroupAfterTheGrace) {
  Reports reports;
  ChildRunner runner(reports.callbacks(), 300ms);
  std::string error;
  // The child ignores SIGTERM and has started a server of its own that holds
  // the output pipe, as a builder running dnsmasq would.
  ASSERT_TRUE(runner.start("/bin/sh",
                           {"-c", "trap '' TERM; sleep 60 & echo server $!; while :; do sleep 0.05; done"}, error));
  pid_t server = 0;
  for (int i = 0; i < 200 && server == 0; ++i) {
    for (const auto& line : reports.lines())
      if (line.text.rfind("server ", 0) == 0) server = std::stoi(line.text.substr(7));
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_NE(server, 0);
  const auto stopped = std::chrono::steady_clock::now();
  runner.stop();
  ASSERT_TRUE(reports.wait_end());
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, 300ms);
  EXPECT_TRUE(reports.exit().signalled);
  EXPECT_EQ(reports.exit().value, SIGKILL);
  EXPECT_TRUE(reports.exit().killed);
  // The server is gone: no such process, or a zombie that no one has reaped yet.
  const auto gone = [server] {
    std::ifstream stat("/proc/" + std::to_string(server) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z";
  };
  for (int i = 0; i < 100 && !gone(); ++i) std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(gone()) << "the child's server still runs";
}

TEST(BuilderWindowChildRunner, ALeftoverProcessHoldingTheOutputEndsWithTheRun) {
  Reports reports;
  ChildRunner runner(reports.callbacks());
  std::string error;
  // The child ends at once but leaves a process behind that keeps its output open
  // for ten minutes.
  ASSERT_TRUE(runner.start("/bin/sh", {"-c", "sleep 600 & echo left $!; exit 0"}, error));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(reports.wait_end(300s)) << "the run must end although its output stays open";
  EXPECT_LT(std::chrono::steady_clock::now() - started, 300s);
  EXPECT_EQ(reports.exit().value, 0);
  for (const auto& line : reports.lines())
    if (line.text.rfind("left ", 0) == 0) ::kill(std::stoi(line.text.substr(5)), SIGKILL);
}

}  // namespace
}  // namespace kestrelon::builder_window
