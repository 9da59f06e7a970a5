// The builder window's rules without a window: one run at a time, the buttons
// while it runs and while it stops, the log with its bound, the result line made
// from the end of each run, a missing builder, and a close that waits for a
// running serve to end.
#include "core/builder_session.h"

#include <gtest/gtest.h>

#include <csignal>

#include "support/temp_folder.h"

namespace kestrelon::builder_window {
namespace {

// Records what the session asks of the child; the test plays the child's reports.
class RecordingChild : public ChildPort {
 public:
  bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error) override {
    started.push_back(program + " " + (arguments.empty() ? "" : arguments.front()));
    if (!start_error.empty()) error = start_error;
    return start_error.empty();
  }
  void stop() override { ++stops; }
  int stop_grace_seconds() const override { return 5; }

  std::vector<std::string> started;
  std::string start_error;
  int stops = 0;
};

class BuilderSessionTest : public ::testing::Test {
 protected:
  BuilderSession make(bool root = true, std::size_t log_limit = BuilderSession::kLogLimit) {
    return BuilderSession(child, {[this] { return builder; }, root}, log_limit);
  }
  ServeForm serve_form() const {
    ServeForm form;
    form.folder = temp.path().string();
    form.interface_name = "eth1";
    return form;
  }

  test::TempFolder temp;
  RecordingChild child;
  std::string builder = "/usr/bin/kestrelon-builder";
  std::vector<NetworkInterface> interfaces{{"eth1", {{Ipv4Address(10, 0, 0, 1), 24}}}};
};

std::string row_text(const BuilderSession& session, std::size_t row) { return session.log().row(row).text; }

TEST_F(BuilderSessionTest, AServeRunsAloneStopsOnStopAndEndsWithItsResult) {
  BuilderSession session = make();
  session.open();
  EXPECT_EQ(session.result(), "");
  ButtonStates idle = session.buttons();
  EXPECT_TRUE(idle.netboot && idle.usb && idle.serve);
  EXPECT_FALSE(idle.stop || idle.stopping);

  session.serve(serve_form(), interfaces);
  ASSERT_TRUE(session.running());
  EXPECT_EQ(child.started, (std::vector<std::string>{"/usr/bin/kestrelon-builder serve"}));
  ButtonStates running = session.buttons();
  EXPECT_FALSE(running.netboot || running.usb || running.serve) << "one run at a time";
  EXPECT_TRUE(running.stop);
  EXPECT_EQ(session.result(), "Serving " + temp.path().string() +
                                  " on eth1 beside the network's DHCP server (proxy DHCP)...");
  EXPECT_EQ(row_text(session, 0), "$ /usr/bin/kestrelon-builder serve --dir " + temp.path().string() +
                                      " --interface eth1 --menu-default client --menu-timeout 5");

  // Another button while it runs starts nothing (the window has them disabled).
  session.prepare_netboot({temp.path().string(), AfterCopy::stay});
  EXPECT_EQ(child.started.size(), 1u);

  session.output({{false, "52:54:00:aa:bb:01 10.0.0.130 asked for ipxe.efi"}, {true, "dnsmasq: warning"}});
  EXPECT_EQ(session.log().rows(), 3u);
  EXPECT_EQ(session.log().row(2).kind, LogKind::error);

  session.stop();
  session.stop();
  EXPECT_EQ(child.stops, 1) << "a second press asks nothing more";
  ButtonStates stopping = session.buttons();
  EXPECT_FALSE(stopping.stop || stopping.serve);
  EXPECT_TRUE(stopping.stopping);
  EXPECT_EQ(session.result(), "Stopping...");

  EXPECT_FALSE(session.ended({true, SIGTERM, false})) << "the window was not closing";
  EXPECT_EQ(session.result(), "Serving stopped.") << "an obeyed stop is no failure, whatever dnsmasq printed";
  EXPECT_FALSE(session.result_is_problem());
  EXPECT_EQ(session.log().row(3).kind, LogKind::result);
  EXPECT_TRUE(session.buttons().netboot && session.buttons().serve);
}

TEST_F(BuilderSessionTest, TheResultLineSaysHowEachRunEnded) {
  struct Case {
    const char* name;
    std::function<void(BuilderSession&)> start;
    std::vector<OutputLine> output;
    bool stop;
    ChildExit exit;
    std::string result;
    bool problem;
  };
  const std::string folder = temp.path().string();
  const std::string image = (temp / "room.img").string();
  const auto netboot = [&](BuilderSession& s) { s.prepare_netboot({folder, AfterCopy::reboot}); };
  const auto usb = [&](BuilderSession& s) { s.prepare_usb({image, AfterCopy::stay}); };
  const auto serve = [&](BuilderSession& s) { s.serve(serve_form(), interfaces); };
  const std::vector<Case> cases{
      {"netboot done", netboot, {{false, "kernel copied"}}, false, {}, "The network boot files are ready in " + folder + ".", false},
      {"usb done", usb, {}, false, {}, "The USB image " + image + " is ready: write it onto a USB stick.", false},
      {"failure names the last error line", netboot,
       {{true, "first complaint"}, {true, "no kernel found: install linux-image-amd64"}, {false, "cleaning up"}},
       false, {false, 1, false},
       "The network boot files could not be prepared: no kernel found: install linux-image-amd64", true},
      {"the builder's name before its message is left out", netboot,
       {{true, "kestrelon-builder: no kernel found"}}, false, {false, 1, false},
       "The network boot files could not be prepared: no kernel found", true},
      {"a refused command line gives its first line, not the hint after it", serve,
       {{true, "kestrelon-builder serve: --menu-timeout: Value 4000 not in range 0 to 3600"},
        {true, "Run 'kestrelon-builder serve --help' for more information."}},
       false, {false, 2, false}, "Serving failed: --menu-timeout: Value 4000 not in range 0 to 3600", true},
      {"a line that only begins with the name is kept whole", usb,
       {{true, "kestrelon-builder could not write: disk full"}}, false, {false, 1, false},
       "The USB image could not be prepared: kestrelon-builder could not write: disk full", true},
      {"failure without a word gives the status", usb, {}, false, {false, 2, false},
       "The USB image could not be prepared: kestrelon-builder ended with exit status 2.", true},
      {"a serve that ends by itself", serve, {{true, "port 67 is taken by another DHCP server"}}, false, {false, 1, false},
       "Serving failed: port 67 is taken by another DHCP server", true},
      {"a serve that ends well by itself", serve, {}, false, {}, "Serving ended.", false},
      {"killed from outside", serve, {}, false, {true, SIGKILL, false},
       "Serving failed: kestrelon-builder was ended by signal 9 (Killed).", true},
      {"a stopped preparation", netboot, {{true, "interrupted"}}, true, {false, 1, false}, "Stopped before the end.", false},
      {"a preparation done before the stop", netboot, {}, true, {}, "The network boot files are ready in " + folder + ".",
       false},
      {"a serve that would not stop", serve, {}, true, {true, SIGKILL, true},
       "Serving stopped. kestrelon-builder did not end within 5 seconds and was killed.", false},
      {"a serve that failed while stopping", serve, {{true, "cannot remove the lease file"}}, true, {false, 1, false},
       "Serving failed: cannot remove the lease file", true},
  };
  for (const Case& c : cases) {
    BuilderSession session = make();
    c.start(session);
    ASSERT_TRUE(session.running()) << c.name << ": " << session.result();
    session.output(c.output);
    if (c.stop) session.stop();
    session.ended(c.exit);
    EXPECT_EQ(session.result(), c.result) << c.name;
    EXPECT_EQ(session.result_is_problem(), c.problem) << c.name;
    EXPECT_EQ(session.log().row(session.log().rows() - 1).text, c.result) << c.name << ": the log ends with it";
  }
}

TEST_F(BuilderSessionTest, RefusalsAndAMissingBuilderStartNothingAndSaySo) {
  BuilderSession not_root = make(false);
  EXPECT_EQ(not_root.serve_note(), "Serving needs root rights (ports 67 and 69), which this window has not.");
  not_root.serve(serve_form(), interfaces);
  EXPECT_TRUE(not_root.result_is_problem());
  EXPECT_NE(not_root.result().find("Serving needs root rights"), std::string::npos);
  EXPECT_TRUE(make(true).serve_note().empty());

  BuilderSession session = make();
  session.prepare_usb({"", AfterCopy::stay});
  EXPECT_EQ(session.result(), "Choose the file for the USB image.");
  EXPECT_TRUE(child.started.empty());
  EXPECT_EQ(session.log().rows(), 0u) << "a refusal is no run";

  builder.clear();
  BuilderSession without = make();
  without.open();
  const std::string missing =
      "kestrelon-builder is not installed (not beside this program, not on the PATH): install the package "
      "kestrelon-builder.";
  EXPECT_EQ(without.result(), missing);
  EXPECT_TRUE(without.result_is_problem());
  without.prepare_netboot({temp.path().string(), AfterCopy::stay});
  EXPECT_EQ(without.result(), missing);
  // Installed while the window is open: the next press finds it.
  builder = "/opt/kestrelon/bin/kestrelon-builder";
  without.prepare_netboot({temp.path().string(), AfterCopy::stay});
  EXPECT_TRUE(without.running());

  child.start_error = "Permission denied";
  BuilderSession cannot = make();
  cannot.prepare_netboot({temp.path().string(), AfterCopy::stay});
  EXPECT_FALSE(cannot.running());
  EXPECT_EQ(cannot.result(), "/opt/kestrelon/bin/kestrelon-builder could not be started: Permission denied");
  EXPECT_EQ(cannot.log().rows(), 2u) << "the command and why it did not run";
}

TEST_F(BuilderSessionTest, TheLogKeepsTheNewestLinesAndCountsTheOthers) {
  BuilderSession session = make(true, 4);
  session.serve(serve_form(), interfaces);
  for (int i = 1; i <= 6; ++i) session.output({{false, "line " + std::to_string(i)}});
  // The command and lines 1 and 2 went: four kept, after a row that counts them.
  EXPECT_EQ(session.log().dropped(), 3u);
  ASSERT_EQ(session.log().rows(), 5u);
  EXPECT_EQ(row_text(session, 0), "(3 earlier lines are not kept)");
  EXPECT_EQ(row_text(session, 1), "line 3");
  EXPECT_EQ(row_text(session, 4), "line 6");
}

TEST_F(BuilderSessionTest, CloseWhileServingStopsFirstAndClosesAtTheEnd) {
  BuilderSession idle = make();
  EXPECT_TRUE(idle.close()) << "nothing runs: the window closes at once";

  BuilderSession session = make();
  session.serve(serve_form(), interfaces);
  EXPECT_FALSE(session.close());
  EXPECT_EQ(child.stops, 1);
  EXPECT_FALSE(session.close()) << "a second close waits too";
  EXPECT_EQ(child.stops, 1);
  EXPECT_TRUE(session.ended({true, SIGTERM, false})) << "the end closes the window";
}

TEST(BuilderWindowShellLine, WordsAreQuotedOnlyWhenAShellWouldSplitThem) {
  EXPECT_EQ(shell_line("/usr/bin/kestrelon-builder", {"usb", "--out", "/home/ann/my stick's.img", "--x=a,b"}),
            "/usr/bin/kestrelon-builder usb --out '/home/ann/my stick'\\''s.img' --x=a,b");
  EXPECT_EQ(shell_line("b", {""}), "b ''");
}

}  // namespace
}  // namespace kestrelon::builder_window
