// The builder window driven as an administrator drives it, through the X server:
// a folder typed, Prepare pressed, the builder's output in the log as it comes
// and the result line at its end; a failure in red with the builder's reason;
// a serve on an interface of the test's private network, stopped with Stop, and
// a window closed while it serves, which ends the serve before it goes. These
// run against a stand-in program that plays the builder's part exactly.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include "builder_window_rig.h"
#include "gui_steps.h"
#include "support/temp_folder.h"
#include "window/builder_log_list.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

TEST(BuilderWindowTest, PreparesTheBootFilesWithTheTypedFolderAndShowsTheLogAndTheResult) {
  TempFolder temp;
  // A space in the folder's name: the builder gets it as one argument.
  const fs::path boot = temp / "boot files";
  BuilderWindowRig rig(KESTRELON_TEST_STAND_IN_BUILDER);
  const auto& c = rig.Controls();
  const fs::path image = temp / "room-12";

  ASSERT_TRUE(RunSteps({
      Pause(500),
      Do("type the folder", [&] { rig.TypeInto(c.folder, boot.string()); }),
      {"folder typed", [&] { return c.folder->GetValue().utf8_string() == boot.string(); }},
      Do("after a Copy: powers off", [&] { c.netboot_after->SetSelection(2); }),
      Do("press Prepare network boot files", [&] { rig.Click(c.netboot); }),
      {"the result line says ready",
       [&] { return rig.Result() == "The network boot files are ready in " + boot.string() + "."; }, 15000},
  }));
  EXPECT_EQ(rig.LogRow(0), "$ " KESTRELON_TEST_STAND_IN_BUILDER " netboot --out '" + boot.string() +
                               "' --after-copy poweroff");
  EXPECT_TRUE(rig.LogHas("arguments: netboot --out " + boot.string() + " --after-copy poweroff"));
  EXPECT_TRUE(rig.LogHas("progress on standard output"));
  EXPECT_TRUE(rig.LogHas("a note on standard error"));
  EXPECT_EQ(rig.LogRow(c.log->GetItemCount() - 1), rig.Result()) << "the log ends with the result";
  EXPECT_NE(c.result->GetForegroundColour(), *wxRED);
  EXPECT_TRUE(c.netboot->IsEnabled() && c.usb->IsEnabled() && c.serve->IsEnabled());
  EXPECT_FALSE(c.stop->IsEnabled());

  // A failure: the result line, in red, gives the builder's own reason.
  ::setenv("STAND_IN_EXIT", "1", 1);
  ::setenv("STAND_IN_ERROR", "no kernel found: install linux-image-amd64", 1);
  const bool failed_as_said = RunSteps({
      Do("press Prepare USB image with no file", [&] { rig.Click(c.usb); }),
      {"refused", [&] { return rig.Result() == "Choose the file for the USB image."; }},
      Do("type the image's name", [&] { rig.TypeInto(c.usb_file, image.string()); }),
      {"name typed", [&] { return c.usb_file->GetValue().utf8_string() == image.string(); }},
      Do("press Prepare USB image", [&] { rig.Click(c.usb); }),
      {"the failure is shown",
       [&] { return rig.Result() == "The USB image could not be prepared: no kernel found: install linux-image-amd64"; },
       15000},
  });
  ::unsetenv("STAND_IN_EXIT");
  ::unsetenv("STAND_IN_ERROR");
  ASSERT_TRUE(failed_as_said);
  EXPECT_EQ(c.result->GetForegroundColour(), *wxRED);
  EXPECT_EQ(c.usb_file->GetValue().utf8_string(), image.string() + ".img") << "the field shows the file written";
  EXPECT_TRUE(rig.LogHas("arguments: usb --out " + image.string() + ".img --after-copy stay"));
}

// The help book's frame, once shown.
wxHtmlHelpFrame* HelpFrame() {
  for (wxWindow* top : wxTopLevelWindows)
    if (auto* frame = dynamic_cast<wxHtmlHelpFrame*>(top); frame && frame->IsShown()) return frame;
  return nullptr;
}

TEST(BuilderWindowTest, AWindowWithoutRootRightsSaysSoServesNothingAndHelpShowsItsPage) {
  TempFolder temp;
  BuilderWindowRig rig(KESTRELON_TEST_STAND_IN_BUILDER, false);
  const auto& c = rig.Controls();
  ::setenv("KESTRELON_HELP_DIR", KESTRELON_TEST_HELP_DIR, 1);
  wxString help_page;
  const bool done = RunSteps({
      Pause(300),
      Do("type the folder", [&] { rig.TypeInto(c.folder, temp.path().string()); }),
      Do("press Serve", [&] { rig.Click(c.serve); }),
      {"refused", [&] { return rig.Result().rfind("Serving needs root rights", 0) == 0; }},
      Do("press Help", [&] { rig.Click(c.help); }),
      {"the help book shows the window's page",
       [&] {
         wxHtmlHelpFrame* help = HelpFrame();
         if (help == nullptr) return false;
         help_page = help->GetHelpWindow()->GetHtmlWindow()->GetOpenedPageTitle();
         return !help_page.empty();
       },
       10000},
      Do("close the help", [&] { HelpFrame()->Close(); }),
  });
  ::unsetenv("KESTRELON_HELP_DIR");
  ASSERT_TRUE(done);
  EXPECT_EQ(help_page, "The client builder's window");
  EXPECT_EQ(c.root_note->GetLabelText(), "Serving needs root rights (ports 67 and 69), which this window has not.");
  EXPECT_TRUE(c.root_note->IsShownOnScreen());
  EXPECT_EQ(rig.Frame()->ChildPid(), 0);
  EXPECT_EQ(c.log->GetItemCount(), 0);
}

TEST(BuilderWindowTest, ServesOnTheChosenInterfaceUntilStopAndAClosedWindowEndsItsServe) {
  LabInterface lab;
  if (!lab.ok()) GTEST_SKIP() << lab.skip_reason();
  TempFolder temp;
  BuilderWindowRig rig(KESTRELON_TEST_STAND_IN_BUILDER);
  const auto& c = rig.Controls();
  pid_t first = 0;
  pid_t second = 0;

  ASSERT_TRUE(RunSteps({
      Pause(500),
      Do("type the folder", [&] { rig.TypeInto(c.folder, temp.path().string()); }),
      Do("press Refresh", [&] { rig.Click(c.refresh); }),
      {"the lab's interface listed and chosen",
       [&] { return c.interface->GetStringSelection() == LabInterface::kLabel; }},
      Do("choose the isolated network", [&] { rig.Click(c.isolated); }),
      {"a range proposed",
       [&] { return c.range_first->GetValue() == "10.77.0.128" && c.range_last->GetValue() == "10.77.0.254"; }},
      Do("press Serve", [&] { rig.Click(c.serve); }),
      {"serving: only Stop is enabled",
       [&] {
         first = rig.Frame()->ChildPid();
         return first != 0 && c.stop->IsEnabled() && !c.serve->IsEnabled() && !c.netboot->IsEnabled();
       }},
      {"the PCs' requests arrive in the log while it serves", [&] { return rig.LogCount("asked for") >= 3; }, 10000},
      Do("press Stop", [&] { rig.Click(c.stop); }),
      {"stopped", [&] { return rig.Result() == "Serving stopped."; }, 10000},
  }));
  EXPECT_TRUE(rig.LogHas("arguments: serve --dir " + temp.path().string() +
                         " --interface bwtest0 --dhcp-range 10.77.0.128,10.77.0.254 --menu-default client "
                         "--menu-timeout 5"));
  EXPECT_TRUE(rig.LogHas("serving stopped")) << "the serve ended by SIGTERM, as asked";
  EXPECT_NE(::kill(first, 0), 0) << "the serve's process is gone";
  EXPECT_TRUE(c.serve->IsEnabled());

  ASSERT_TRUE(RunSteps({
      Do("press Serve again", [&] { rig.Click(c.serve); }),
      {"serving again",
       [&] {
         second = rig.Frame()->ChildPid();
         return second != 0 && rig.LogCount("asked for") >= 4;
       }, 10000},
      Do("press Close", [&] { rig.Click(c.close); }),
      {"the window waits for the serve to end, then goes", [&] { return !rig.Frame(); }, 10000},
  }));
  EXPECT_NE(::kill(second, 0), 0) << "closing the window ended the serve";
}

}  // namespace
}  // namespace kestrelon::test
