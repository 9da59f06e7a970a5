// The GUI test program: wx is started once, every test builds its windows, runs
// its steps in an event loop, and tears the windows down again. Started by
// run_with_display.sh on a private display.
#include <csignal>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>

#include "support/private_network.h"

namespace {

class GuiTestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void fail_on_assert(const wxString& file, int line, const wxString& func, const wxString& cond,
                    const wxString& msg) {
  ADD_FAILURE() << "wx assertion " << cond.utf8_string() << " in " << func.utf8_string() << " at "
                << file.utf8_string() << ":" << line << ": " << msg.utf8_string();
}

// A hung test must not hang CI: each test gets a fixed time, then the program ends
// (the launcher ends what it started). The time is many times what the longest
// test takes on an idle machine, so a busy machine never trips it.
class Watchdog : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ::alarm(600); }
  void OnTestEnd(const ::testing::TestInfo&) override { ::alarm(0); }
};

void on_alarm(int) {
  const char text[] = "gui test watchdog: test hung, ending the program\n";
  ssize_t ignored = ::write(2, text, sizeof text - 1);
  (void)ignored;
  ::_exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  // The application binds the protocol ports; keep them off the host's network.
  kestrelon::test::enter_private_network();

  wxApp::SetInstance(new GuiTestApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot start wx (is there a display?)\n");
    return 2;
  }
  wxSetAssertHandler(fail_on_assert);
  std::signal(SIGALRM, on_alarm);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
